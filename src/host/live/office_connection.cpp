#include "src/host/live/office_connection.h"

#include <chrono>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridgeFactory2.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/connection/XConnector.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <condition_variable>
#include <cppuhelper/bootstrap.hxx>
#include <filesystem>
#include <mutex>
#include <rtl/bootstrap.hxx>
#include <thread>
#include <utility>
#include <vector>

namespace quilmark {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using rtl::OUString;

constexpr const char* kTypeLibraries[] = {"types.rdb", "types/offapi.rdb"};
constexpr const char* kServices = "services.rdb";  // the connector and the bridge factory

OUString FileUrl(const std::string& path) { return FromUtf8("file://" + path); }

void DisposeBridge(const Reference<css::bridge::XBridge>& bridge) {
  Reference<css::lang::XComponent> component(bridge, UNO_QUERY);
  if (!component.is()) return;
  try {
    component->dispose();
  } catch (const css::uno::Exception&) {
    // Already gone with its connection.
  }
}

// Whether the document is still open: a closed one refuses every call. Its sheets do not always
// say so themselves (a closed sheet hands out no cursor), hence the question to the document.
bool IsOpen(const Reference<css::uno::XInterface>& document) {
  try {
    Reference<css::frame::XModel> model(document, UNO_QUERY);
    if (!model.is()) return false;
    model->getURL();
    return true;
  } catch (const css::uno::Exception&) {
    return false;
  }
}

bool IsProtected(const Reference<css::uno::XInterface>& sheet) {
  try {
    Reference<css::util::XProtectable> protectable(sheet, UNO_QUERY);
    return protectable.is() && protectable->isProtected();
  } catch (const css::uno::Exception&) {
    return false;
  }
}

bool IsReadOnly(const Reference<css::uno::XInterface>& document) {
  try {
    Reference<css::frame::XStorable> storable(document, UNO_QUERY);
    return storable.is() && storable->isReadonly();
  } catch (const css::uno::Exception&) {
    return false;
  }
}

std::string SheetName(const Reference<css::uno::XInterface>& sheet) {
  try {
    Reference<css::container::XNamed> named(sheet, UNO_QUERY);
    return named.is() ? ToUtf8(named->getName()) : std::string();
  } catch (const css::uno::Exception&) {
    return {};
  }
}

// The office's own text of a failure, for diagnosis after the plain reason.
std::string OfficeText(const css::uno::Exception& error) {
  const std::string text = ToUtf8(error.Message);
  return text.empty() ? std::string() : " (LibreOffice: " + text + ")";
}

void CloseConnection(const Reference<css::connection::XConnection>& connection) {
  if (!connection.is()) return;
  try {
    connection->close();
  } catch (const css::uno::Exception&) {
    // Closed already.
  }
}

// What the connecting thread and the caller waiting for it share. The thread owns a reference,
// so a caller that gives up at the deadline can leave without waiting for it.
struct AttachState {
  std::mutex mutex;
  std::condition_variable finished_signal;
  bool finished = false;
  bool abandoned = false;
  Reference<css::connection::XConnection> connection;
  std::unique_ptr<OfficeConnection> result;
};

void Connect(const std::shared_ptr<AttachState>& state, const UnoAddress& address,
             const Reference<css::uno::XComponentContext>& local,
             std::chrono::milliseconds call_timeout) {
  Reference<css::bridge::XBridge> bridge;
  std::unique_ptr<OfficeConnection> result;
  try {
    Reference<css::connection::XConnection> connection =
        css::connection::Connector::create(local)->connect(FromUtf8(address.connection));
    {
      std::lock_guard lock(state->mutex);
      state->connection = connection;
      if (state->abandoned) connection->close();
    }
    // From here a caller that gives up closes the connection, which ends any call still waiting
    // for the peer: a listener that accepts and never answers cannot hold the attach.
    bridge = css::bridge::BridgeFactory::create(local)->createBridge(
        OUString(), FromUtf8(address.protocol), connection, nullptr);
    Reference<css::uno::XComponentContext> remote(bridge->getInstance(FromUtf8(address.object)),
                                                  UNO_QUERY);
    if (remote.is()) {
      Reference<css::frame::XDesktop2> desktop = css::frame::Desktop::create(remote);
      result =
          std::make_unique<OfficeConnection>(connection, bridge, remote, desktop, call_timeout);
    }
  } catch (const css::uno::Exception&) {
    // Refused, closed at the deadline, or a peer that is not an office.
  } catch (const std::exception&) {
    // Out of memory: an exception leaving this thread would end the program.
  }
  std::lock_guard lock(state->mutex);
  if (result && !state->abandoned) {
    state->result = std::move(result);
  } else if (!result) {
    DisposeBridge(bridge);
  }
  // An abandoned result is destroyed here, which disposes its bridge.
  state->finished = true;
  state->finished_signal.notify_all();
}

}  // namespace

std::string ToUtf8(const OUString& text) {
  const rtl::OString utf8 = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
  return std::string(utf8.getStr(), utf8.getLength());
}

OUString FromUtf8(std::string_view text) {
  return OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

std::optional<UnoAddress> ParseUnoAddress(std::string_view connect) {
  if (connect.starts_with("uno:")) connect.remove_prefix(4);
  std::vector<std::string_view> parts;
  while (true) {
    const size_t end = connect.find(';');
    parts.push_back(connect.substr(0, end));
    if (end == std::string_view::npos) break;
    connect.remove_prefix(end + 1);
  }
  if (parts.size() < 2 || parts.size() > 3 || parts[0].empty() || parts[1].empty()) {
    return std::nullopt;
  }
  UnoAddress address;
  address.connection = parts[0];
  address.protocol = parts[1];
  if (parts.size() == 3 && !parts[2].empty()) address.object = parts[2];
  return address;
}

std::optional<std::string> MissingTypeLibraries(const std::string& program_dir) {
  std::vector<std::string> files(std::begin(kTypeLibraries), std::end(kTypeLibraries));
  files.push_back(kServices);
  std::string missing;
  for (const std::string& file : files) {
    const std::string path = program_dir + "/" + file;
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) continue;
    missing += missing.empty() ? path : ", " + path;
  }
  if (missing.empty()) return std::nullopt;
  return "找不到 LibreOffice 的类型库 " + missing +
         ", 无法连接。请安装 libreoffice-calc (无图形界面时为 libreoffice-calc-nogui)。";
}

Reference<css::uno::XComponentContext> LocalUnoContext() {
  static std::mutex mutex;
  static Reference<css::uno::XComponentContext> context;
  std::lock_guard lock(mutex);
  if (context.is()) return context;

  const std::string program = QUILMARK_OFFICE_PROGRAM_DIR;
  if (std::optional<std::string> missing = MissingTypeLibraries(program)) throw HostError(*missing);
  // Set for this process only, ahead of any ini file or environment variable, so the client
  // needs nothing set up by hand.
  OUString types;
  for (const char* library : kTypeLibraries) {
    if (!types.isEmpty()) types += " ";
    types += FileUrl(program + "/" + library);
  }
  rtl::Bootstrap::set("URE_INTERNAL_LIB_DIR", FileUrl(program));
  rtl::Bootstrap::set("UNO_TYPES", types);
  rtl::Bootstrap::set("UNO_SERVICES", FileUrl(program + "/" + kServices));
  try {
    context = cppu::defaultBootstrap_InitialComponentContext();
  } catch (const css::uno::Exception& error) {
    throw HostError("无法启动与 LibreOffice 通信的组件: " + ToUtf8(error.Message) +
                    "。请确认 libreoffice-calc 已完整安装。");
  }
  // Never disposed: tearing the runtime down at exit would race with bridges still closing.
  return context;
}

std::unique_ptr<OfficeConnection> OfficeConnection::Open(const LiveHostOptions& options) {
  std::optional<UnoAddress> address = ParseUnoAddress(options.connect);
  if (!address) return nullptr;
  Reference<css::uno::XComponentContext> local = LocalUnoContext();

  auto state = std::make_shared<AttachState>();
  std::thread(Connect, state, *address, local, options.call_timeout).detach();
  std::unique_lock lock(state->mutex);
  if (state->finished_signal.wait_for(lock, options.attach_timeout,
                                      [&] { return state->finished; })) {
    return std::move(state->result);
  }
  state->abandoned = true;
  Reference<css::connection::XConnection> connection = state->connection;
  lock.unlock();
  CloseConnection(connection);
  return nullptr;
}

OfficeConnection::OfficeConnection(Reference<css::connection::XConnection> connection,
                                   Reference<css::bridge::XBridge> bridge,
                                   Reference<css::uno::XComponentContext> remote,
                                   Reference<css::frame::XDesktop2> desktop,
                                   std::chrono::milliseconds call_timeout)
    : connection_(std::move(connection)),
      bridge_(std::move(bridge)),
      remote_(std::move(remote)),
      desktop_(std::move(desktop)),
      watch_(std::make_unique<CallWatch>(call_timeout, [this] { Close(); })) {}

OfficeConnection::~OfficeConnection() {
  watch_.reset();  // no expiry may close the connection while it is taken down
  desktop_.clear();
  remote_.clear();
  DisposeBridge(bridge_);
}

void OfficeConnection::Close() const { CloseConnection(connection_); }

bool OfficeConnection::Answers() const {
  if (watch_->expired()) return false;
  try {
    WatchedCall watched(*watch_);
    return remote_->getServiceManager().is();
  } catch (const css::uno::Exception&) {
    return false;
  }
}

HostError OfficeConnection::Failure(const css::uno::Exception& error,
                                    const Reference<css::uno::XInterface>& document,
                                    const Reference<css::uno::XInterface>& sheet) const {
  if (watch_->expired()) {
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(watch_->limit()).count();
    return HostError("LibreOffice 在 " + std::to_string(seconds) +
                     " 秒内没有响应, 统计未完成, 连接已断开。请查看 LibreOffice 是否有对话框在等待"
                     "回答或已停止响应, 然后再运行。");
  }
  if (!Answers()) return HostError("与 LibreOffice 的连接已断开, 统计未完成。");
  // The questions below are calls too, each bounded like the one that failed.
  auto ask = [&](auto question, const Reference<css::uno::XInterface>& subject) {
    WatchedCall watched(*watch_);
    return subject.is() && question(subject);
  };
  if (document.is() && !ask(IsOpen, document)) {
    return HostError("工作簿已在 LibreOffice 中关闭, 统计未完成。");
  }
  if (ask(IsProtected, sheet)) {
    WatchedCall watched(*watch_);
    return HostError("工作表 “" + SheetName(sheet) +
                     "” 受保护, LibreOffice 不允许写入, 统计未完成。请先在 LibreOffice 中撤销"
                     "工作表保护 (工具 > 保护工作表), 再运行。" +
                     OfficeText(error));
  }
  if (ask(IsReadOnly, document)) {
    return HostError(
        "工作簿在 LibreOffice 中以只读方式打开, 无法写入, 统计未完成。请先在 LibreOffice 中"
        "切换到编辑模式 (编辑 > 编辑模式), 再运行。" +
        OfficeText(error));
  }
  return HostError("LibreOffice 未能完成操作, 统计未完成。" + OfficeText(error));
}

}  // namespace quilmark
