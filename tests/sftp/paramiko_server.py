#!/usr/bin/python3
"""A small SSH server for the logins Debian's OpenSSH server is not set up
to take in the tests: a password, or keyboard-interactive with one hidden
prompt. Serves the files over SFTP from FOLDER as home (read only).

    paramiko_server.py FOLDER password|keyboard-interactive USER PASSWORD

Prints "PORT <n>" once it listens on 127.0.0.1, then one line per login
attempt: "AUTH <method> <user> accepted|refused".
"""
import os
import socket
import sys
import threading

import paramiko

FOLDER, METHOD, USER, PASSWORD = sys.argv[1:5]


def say(line):
    print(line, flush=True)


class Server(paramiko.ServerInterface):
    def get_allowed_auths(self, username):
        return METHOD

    def _answer(self, method, user, password):
        ok = user == USER and password == PASSWORD
        say("AUTH %s %s %s" % (method, user, "accepted" if ok else "refused"))
        return paramiko.AUTH_SUCCESSFUL if ok else paramiko.AUTH_FAILED

    def check_auth_password(self, username, password):
        if METHOD != "password":
            return paramiko.AUTH_FAILED
        return self._answer("password", username, password)

    def check_auth_interactive(self, username, submethods):
        if METHOD != "keyboard-interactive":
            return paramiko.AUTH_FAILED
        self.user = username
        return paramiko.InteractiveQuery("", "", ("Password: ", False))

    def check_auth_interactive_response(self, responses):
        answer = responses[0] if len(responses) == 1 else None
        return self._answer("keyboard-interactive", self.user, answer)

    def check_channel_request(self, kind, chanid):
        ok = kind == "session"
        return paramiko.OPEN_SUCCEEDED if ok else paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED


class Handle(paramiko.SFTPHandle):
    def stat(self):
        return paramiko.SFTPAttributes.from_stat(os.fstat(self.readfile.fileno()))


# Paths are the machine's own, relative ones from FOLDER (the home folder).
class Files(paramiko.SFTPServerInterface):
    def canonicalize(self, path):
        return os.path.normpath(os.path.join(FOLDER, path))

    def list_folder(self, path):
        try:
            return [paramiko.SFTPAttributes.from_stat(os.lstat(os.path.join(path, n)), n)
                    for n in os.listdir(path)]
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    def stat(self, path):
        try:
            return paramiko.SFTPAttributes.from_stat(os.stat(path))
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    lstat = stat

    def open(self, path, flags, attr):
        try:
            handle = Handle(flags)
            handle.readfile = open(path, "rb")
            return handle
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)


def serve(client, host_key):
    transport = paramiko.Transport(client)
    transport.add_server_key(host_key)
    transport.set_subsystem_handler("sftp", paramiko.SFTPServer, Files)
    try:
        transport.start_server(server=Server())
    except (paramiko.SSHException, EOFError, OSError):
        return
    transport.join()


def main():
    os.chdir(FOLDER)
    host_key = paramiko.ECDSAKey.generate()
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    say("PORT %d" % listener.getsockname()[1])
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, host_key), daemon=True).start()


if __name__ == "__main__":
    main()
