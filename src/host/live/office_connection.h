// One connection from this process to a running office: the process's own UNO runtime, set up
// once with the office's type libraries, and a URP bridge to the office's desktop. Only the live
// host's units and its tests include this header; they alone see the office's types.
#pragma once

#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <memory>
#include <optional>
#include <rtl/ustring.hxx>
#include <string>
#include <string_view>

#include "src/host/live/call_watch.h"
#include "src/host/live/live_host.h"
#include "src/host/sheet_host.h"

namespace quilmark {

namespace css = ::com::sun::star;

// UTF-8 to and from the office's UTF-16 strings.
std::string ToUtf8(const rtl::OUString& text);
rtl::OUString FromUtf8(std::string_view text);

// The parts of a connection string "socket,host=...,port=...;urp;" (optionally with "uno:" in
// front and an object name after the protocol).
struct UnoAddress {
  std::string connection;  // "socket,host=127.0.0.1,port=2002"
  std::string protocol;    // "urp"
  std::string object = "StarOffice.ComponentContext";
};
// nullopt when the text has no connection or no protocol part.
std::optional<UnoAddress> ParseUnoAddress(std::string_view connect);

// The message naming what to install when a type library the client needs is missing from the
// office's program folder; nullopt when all are there.
std::optional<std::string> MissingTypeLibraries(const std::string& program_dir);

// This process's UNO runtime, set up on first use from the office's program folder. Throws
// HostError saying what to install when the office's type libraries are missing: without them the
// first remote call would bring the process down instead of failing.
css::uno::Reference<css::uno::XComponentContext> LocalUnoContext();

class OfficeConnection {
 public:
  // Connects, bridges and reaches the office's desktop, all within options.attach_timeout;
  // nullptr when the address does not parse, nothing listens, or the peer does not answer in
  // time. Throws HostError when the client's own runtime cannot be set up.
  static std::unique_ptr<OfficeConnection> Open(const LiveHostOptions& options);

  OfficeConnection(css::uno::Reference<css::connection::XConnection> connection,
                   css::uno::Reference<css::bridge::XBridge> bridge,
                   css::uno::Reference<css::uno::XComponentContext> remote,
                   css::uno::Reference<css::frame::XDesktop2> desktop,
                   std::chrono::milliseconds call_timeout);
  // Disposes the bridge, which closes the connection; the office and its documents stay.
  ~OfficeConnection();
  OfficeConnection(const OfficeConnection&) = delete;
  OfficeConnection& operator=(const OfficeConnection&) = delete;

  const css::uno::Reference<css::frame::XDesktop2>& desktop() const { return desktop_; }
  const css::uno::Reference<css::uno::XComponentContext>& remote_context() const { return remote_; }

  // Whether the office still answers a call within the call limit.
  bool Answers() const;

  // Runs calls to the office about a document (none for the desktop itself) and one of its
  // sheets (or none). The office may stay silent for the call limit at most; then the
  // connection is closed, which ends the call. A failure becomes the HostError that stops the
  // run, in plain words first: the office not answering, the connection lost, the document
  // closed, the sheet protected, the document read-only; the office's own text follows.
  template <typename Calls>
  decltype(auto) Guard(const css::uno::Reference<css::uno::XInterface>& document, Calls&& calls,
                       const css::uno::Reference<css::uno::XInterface>& sheet = {}) const {
    try {
      WatchedCall watched(*watch_);
      return calls();
    } catch (const css::uno::Exception& error) {
      throw Failure(error, document, sheet);
    }
  }

 private:
  HostError Failure(const css::uno::Exception& error,
                    const css::uno::Reference<css::uno::XInterface>& document,
                    const css::uno::Reference<css::uno::XInterface>& sheet) const;
  void Close() const;

  css::uno::Reference<css::connection::XConnection> connection_;
  css::uno::Reference<css::bridge::XBridge> bridge_;
  css::uno::Reference<css::uno::XComponentContext> remote_;
  css::uno::Reference<css::frame::XDesktop2> desktop_;
  std::unique_ptr<CallWatch> watch_;  // closes the connection when the office falls silent
};

}  // namespace quilmark
