"""A throwaway PostgreSQL 15 + PostGIS 3 server: a cluster in a temporary folder, a free port,
its unix socket in that folder, started as an unprivileged user (the server refuses root).

    with PostgisServer() as server:
        server.connection      # "PG:host=... port=... dbname=postgres user=postgres"

`settings` are server settings given at start ({"max_parallel_workers_per_gather": 2}); a
server started with `tcp=True` also listens on 127.0.0.1, where a password is asked
(server.password; server.tcp_connection is the connection string with it): postgres_fdw
reaches other servers there.
"""
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import time

BIN = "/usr/lib/postgresql/15/bin"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class PostgisServer:
    def __init__(self, settings=None, tcp=False):
        self.folder = tempfile.mkdtemp(prefix="quilmark-pg-")
        self.port = free_port()
        self.settings = settings or {}
        self.tcp = tcp
        self.stopped = False
        self.user = "postgres" if os.geteuid() == 0 else pwd.getpwuid(os.geteuid()).pw_name
        self.connection = (f"PG:host={self.folder} port={self.port} dbname=postgres "
                           f"user={self.user}")
        self.password = "quilmark-test"
        self.tcp_connection = (f"PG:host=127.0.0.1 port={self.port} dbname=postgres "
                               f"user={self.user} password={self.password}")

    def _as_server_user(self, *args, **kwargs):
        command = list(args)
        if os.geteuid() == 0:
            command = ["runuser", "-u", "postgres", "--"] + command
        return subprocess.run(command, check=True, capture_output=True, **kwargs)

    def psql(self, sql):
        return self._as_server_user(f"{BIN}/psql", "-h", self.folder, "-p", str(self.port),
                                    "-U", self.user, "-d", "postgres", "-v", "ON_ERROR_STOP=1",
                                    "-qc", sql)

    def value(self, sql):
        """The one value a query returns, as psql prints it."""
        return self._as_server_user(f"{BIN}/psql", "-h", self.folder, "-p", str(self.port),
                                    "-U", self.user, "-d", "postgres", "-Atc", sql,
                                    text=True).stdout.strip()

    def stop(self):
        """Stops the server at once, as a crash or a power cut would; a stopped server stays so."""
        if not self.stopped:
            self.stopped = True
            self._as_server_user(f"{BIN}/pg_ctl", "-D", os.path.join(self.folder, "data"),
                                 "-m", "immediate", "-w", "stop")

    def __enter__(self):
        if os.geteuid() == 0:
            shutil.chown(self.folder, "postgres")
        data = os.path.join(self.folder, "data")
        self._as_server_user(f"{BIN}/initdb", "-D", data, "--auth-local=trust",
                             "--auth-host=scram-sha-256", "-U", self.user,
                             "--no-sync", "-E", "UTF8", "--locale=C")
        listen = "127.0.0.1" if self.tcp else ""
        options = f"-p {self.port} -k {self.folder} -c listen_addresses='{listen}' -c fsync=off"
        for name, value in self.settings.items():
            options += f" -c {name}={value}"
        self._as_server_user(f"{BIN}/pg_ctl", "-D", data, "-o", options,
                             "-l", os.path.join(self.folder, "log"), "-w", "-t", "120", "start")
        # pg_ctl -w returns once the server accepts connections; pg_isready confirms it, and
        # waits on a busy machine instead of assuming a fixed time is enough.
        for _ in range(600):
            ready = subprocess.run([f"{BIN}/pg_isready", "-h", self.folder, "-p", str(self.port)],
                                   capture_output=True)
            if ready.returncode == 0:
                break
            time.sleep(0.2)
        self.psql("CREATE EXTENSION postgis")
        if self.tcp:
            self.psql(f"ALTER USER {self.user} PASSWORD '{self.password}'")
        return self

    def __exit__(self, *exc):
        try:
            self.stop()
        finally:
            shutil.rmtree(self.folder, ignore_errors=True)


class SilentServer:
    """A port that accepts connections and never answers, as a hung server does."""

    def __enter__(self):
        self.socket = socket.socket()
        self.socket.bind(("127.0.0.1", 0))
        self.socket.listen(16)
        self.connection = (f"PG:host=127.0.0.1 port={self.socket.getsockname()[1]} "
                           f"dbname=land user=survey password=secret")
        return self

    def __exit__(self, *exc):
        self.socket.close()
