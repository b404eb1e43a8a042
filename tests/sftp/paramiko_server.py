#!/usr/bin/python3
"""An SSH server for the logins the tests' OpenSSH server does not take: a
password, or keyboard-interactive with one hidden prompt. Its SFTP holds
nothing. Prints "PORT <n>", then "AUTH <method> <user> accepted|refused" per
attempt.   paramiko_server.py password|keyboard-interactive USER PASSWORD"""
import socket
import sys
import threading

import paramiko

METHOD, USER, PASSWORD = sys.argv[1:4]


class Server(paramiko.ServerInterface):
    def get_allowed_auths(self, username):
        return METHOD

    def answer(self, method, user, password):
        ok = method == METHOD and (user, password) == (USER, PASSWORD)
        print("AUTH %s %s %s" % (method, user, "accepted" if ok else "refused"), flush=True)
        return paramiko.AUTH_SUCCESSFUL if ok else paramiko.AUTH_FAILED

    def check_auth_password(self, username, password):
        return self.answer("password", username, password)

    def check_auth_interactive(self, username, submethods):
        self.user = username
        return paramiko.InteractiveQuery("", "", ("Password: ", False))

    def check_auth_interactive_response(self, responses):
        return self.answer("keyboard-interactive", self.user, (list(responses) + [None])[0])

    def check_channel_request(self, kind, chanid):
        return paramiko.OPEN_SUCCEEDED


def serve(client, key):
    transport = paramiko.Transport(client)
    transport.add_server_key(key)
    transport.set_subsystem_handler("sftp", paramiko.SFTPServer, paramiko.SFTPServerInterface)
    try:
        transport.start_server(server=Server())
        transport.join()
    except (paramiko.SSHException, EOFError, OSError):
        pass


key = paramiko.ECDSAKey.generate()
listener = socket.create_server(("127.0.0.1", 0))
print("PORT %d" % listener.getsockname()[1], flush=True)
while True:
    threading.Thread(target=serve, args=(listener.accept()[0], key), daemon=True).start()
