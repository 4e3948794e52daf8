"""Our program, khal and todoman over one vdir folder, each a black box.

An event and a reminder made through our tools are listed by `khal list`
and `todo list`; an event made by khal and a task made by todoman, and
todoman marking our reminder done, are read back through our tools. khal and
todoman get configuration files of their own in a temporary folder, and the
program talks MCP over its standard input and output.

    calendar_peers.py PROGRAM TODO
"""

import json
import os
import selectors
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

ANSWER_SECONDS = 30


def fail(message):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Program:
    """The program over its pipes, one JSON-RPC message a line."""

    def __init__(self, path, environment, errors):
        self.process = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=errors,
                                        env=environment)
        self.selector = selectors.DefaultSelector()
        self.selector.register(self.process.stdout, selectors.EVENT_READ)
        self.buffer = b""
        self.last_id = 0

    def send(self, message):
        self.process.stdin.write((json.dumps(message) + "\n").encode())
        self.process.stdin.flush()

    def read_line(self, deadline):
        while b"\n" not in self.buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not self.selector.select(remaining):
                fail("no answer from the program in time")
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                fail("the program closed its output")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def request(self, method, params):
        self.last_id += 1
        self.send({"jsonrpc": "2.0", "id": self.last_id, "method": method, "params": params})
        deadline = time.monotonic() + ANSWER_SECONDS
        while True:
            message = self.read_line(deadline)
            if message.get("id") == self.last_id:
                return message

    def call_tool(self, name, arguments):
        answer = self.request("tools/call", {"name": name, "arguments": arguments})
        if "result" not in answer:
            fail(f"{name} answered {answer}")
        return answer["result"]["content"][0]["text"]

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(ANSWER_SECONDS)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            fail("the program did not stop on SIGTERM")


def run(command, environment):
    result = subprocess.run(command, env=environment, capture_output=True, text=True, timeout=ANSWER_SECONDS)
    if result.returncode != 0:
        fail(f"{' '.join(command)} exited with {result.returncode}: {result.stderr}")
    return result.stdout


def expect(condition, message):
    if not condition:
        fail(message)


def main():
    program_path, todo = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="lumenary-calendar-peers-")
    try:
        calendars = os.path.join(work, "calendars")
        os.makedirs(os.path.join(calendars, "personal"))
        config = os.path.join(work, "config")
        os.makedirs(config)
        with open(os.path.join(config, "defaults.json"), "w") as defaults:
            json.dump({"mcp_server_port": free_port(), "isCalendarEnabled": True, "isRemindersEnabled": True},
                      defaults)

        khal_config = os.path.join(work, "khal.conf")
        with open(khal_config, "w") as file:
            file.write(f"""[calendars]
[[personal]]
path = {calendars}/personal
type = calendar

[sqlite]
path = {work}/khal.db

[locale]
timeformat = %H:%M
dateformat = %Y-%m-%d
longdateformat = %Y-%m-%d
datetimeformat = %Y-%m-%d %H:%M
longdatetimeformat = %Y-%m-%d %H:%M
local_timezone = UTC
default_timezone = UTC

[default]
default_calendar = personal
""")
        todo_config = os.path.join(work, "todoman.py")
        with open(todo_config, "w") as file:
            file.write(f"""path = "{calendars}/*"
date_format = "%Y-%m-%d"
time_format = "%H:%M"
default_list = "personal"
cache_path = "{work}/todoman.sqlite"
""")

        environment = {key: value for key, value in os.environ.items() if not key.startswith("LUMENARY_")}
        environment.update({"HOME": work, "XDG_CONFIG_HOME": os.path.join(work, "xdg-config"),
                            "XDG_DATA_HOME": os.path.join(work, "xdg-data"),
                            "XDG_CACHE_HOME": os.path.join(work, "xdg-cache"), "TZ": "UTC",
                            "LUMENARY_CONFIG_DIR": config, "LUMENARY_CALENDAR_DIR": calendars})
        khal = ["khal", "-c", khal_config]
        todoman = [todo, "-c", todo_config]

        with open(os.path.join(work, "program.err"), "w") as errors:
            program = Program(program_path, environment, errors)
            program.request("initialize", {"protocolVersion": "2025-03-26", "capabilities": {},
                                           "clientInfo": {"name": "calendar-peers", "version": "1"}})
            program.send({"jsonrpc": "2.0", "method": "notifications/initialized"})

            # Ours, read by theirs.
            created = program.call_tool("create_event", {"title": "Dentist", "startDate": "2030-01-15T09:00:00Z",
                                                         "endDate": "2030-01-15T10:00:00Z"})
            expect(created.startswith("✅ Event created: Dentist (ID: "), "create_event answered " + created)
            added = program.call_tool("reminders_add", {"title": "Buy milk", "dueDate": "2030-03-01T09:30:00Z",
                                                        "priority": 1})
            expect(added.startswith("✅ Created reminder: Buy milk (ID: "), "reminders_add answered " + added)

            listed = run(khal + ["list", "2030-01-15", "2d"], environment)
            expect("09:00-10:00 Dentist" in listed, "khal list shows no Dentist at 09:00-10:00:\n" + listed)
            tasks = json.loads(run(todoman + ["--porcelain", "list"], environment))
            milk = [task for task in tasks if task["summary"] == "Buy milk"]
            expect(len(milk) == 1, f"todo list shows {tasks}")
            expect(milk[0]["priority"] == 1, f"todo list shows the priority {milk[0]['priority']}")
            expect(milk[0]["due"] == 1898587800, f"todo list shows the due date {milk[0]['due']}")

            # Theirs, read by ours.
            run(khal + ["new", "-a", "personal", "2030-01-16", "10:00", "11:00", "Khal meeting"], environment)
            run(todoman + ["new", "-l", "personal", "--due", "2030-02-01 08:00", "Todoman task"], environment)
            run(todoman + ["done", str(milk[0]["id"])], environment)

            events = json.loads(program.call_tool("get_events", {"fromDate": "2030-01-15", "toDate": "2030-01-17"}))
            meetings = [event for event in events if event["title"] == "Khal meeting"]
            expect(len(meetings) == 1 and meetings[0]["startDate"] == "2030-01-16T10:00:00Z"
                   and meetings[0]["endDate"] == "2030-01-16T11:00:00Z", f"get_events answered {events}")
            open_reminders = program.call_tool("reminders_fetch", {})
            expect("☐ Todoman task (List: personal, Due: 2030-02-01 08:00)" in open_reminders,
                   "reminders_fetch answered " + open_reminders)
            expect("Buy milk" not in open_reminders, "a reminder todoman marked done is still open:\n" + open_reminders)
            done = program.call_tool("reminders_fetch", {"status": "completed"})
            expect("☑️ Buy milk (List: personal, Due: 2030-03-01 09:30, Priority: 1)" in done,
                   "reminders_fetch of completed ones answered " + done)

            code = program.stop()
            expect(code == 0, f"the program exited with {code}")
        print("khal and todoman read what our tools wrote, and our tools read what they wrote")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
