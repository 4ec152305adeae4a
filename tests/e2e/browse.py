#!/usr/bin/env python3
"""Visits URLs with a real browser that takes its proxy from the desktop's settings, and
returns whatever each visit gives (a page or an error page), never hanging on one.

Usage: browse.py BROWSER PROFILE_DIR URL...
BROWSER: firefox (Firefox ESR, driven through its Marionette port) or chromium (headless
Chromium, one run per URL that prints the page). Every step is bounded; the browser is ended at
the end. Exit 77: the browser is not installed.
"""
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

FIREFOX_PREFS = {
    # 5: the system's proxy settings (GSettings on Linux).
    "network.proxy.type": 5,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.aboutwelcome.enabled": False,
    "browser.newtabpage.enabled": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.safebrowsing.downloads.enabled": False,
    "browser.safebrowsing.update.enabled": False,
    "browser.region.update.enabled": False,
    "app.normandy.enabled": False,
    "app.update.auto": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.healthreport.uploadEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "network.dns.disablePrefetch": True,
    "network.prefetch-next": False,
    "network.http.speculative-parallel-limit": 0,
    "extensions.update.enabled": False,
    "extensions.getAddons.cache.enabled": False,
    "services.settings.server": "http://127.0.0.1:9/",
    "marionette.port": 0,
}


class Marionette:
    def __init__(self, port, deadline):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        self.deadline = deadline
        self.next_id = 0
        self.buffer = b""
        self.receive()  # the greeting

    def receive(self):
        while b":" not in self.buffer:
            self.fill()
        length, _, rest = self.buffer.partition(b":")
        self.buffer = rest
        while len(self.buffer) < int(length):
            self.fill()
        message, self.buffer = self.buffer[: int(length)], self.buffer[int(length):]
        return json.loads(message)

    def fill(self):
        if time.monotonic() > self.deadline:
            raise TimeoutError("the browser did not answer in time")
        chunk = self.sock.recv(65536)
        if not chunk:
            raise ConnectionError("the browser closed the connection")
        self.buffer += chunk

    def call(self, command, params):
        self.next_id += 1
        data = json.dumps([0, self.next_id, command, params]).encode()
        self.sock.sendall(str(len(data)).encode() + b":" + data)
        while True:
            reply = self.receive()
            if reply[0] == 1 and reply[1] == self.next_id:
                return reply[2], reply[3]


def firefox(profile, urls, deadline):
    binary = shutil.which("firefox-esr") or shutil.which("firefox")
    if not binary:
        print("SKIP: firefox-esr is missing (scripts/setup.sh installs it)")
        return 77
    os.makedirs(profile, exist_ok=True)
    with open(os.path.join(profile, "user.js"), "w") as prefs:
        for name, value in FIREFOX_PREFS.items():
            prefs.write(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n")
    port_file = os.path.join(profile, "MarionetteActivePort")
    if os.path.exists(port_file):
        os.remove(port_file)
    process = subprocess.Popen(
        [binary, "--headless", "--marionette", "--no-remote", "--profile", profile, "about:blank"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        port = None
        while port is None and time.monotonic() < deadline and process.poll() is None:
            try:
                with open(port_file) as f:
                    port = int(f.read().strip())
            except (OSError, ValueError):
                time.sleep(0.2)
        if port is None:
            print("FAIL: Firefox did not open its Marionette port")
            return 1
        session = Marionette(port, deadline)
        error, _ = session.call("WebDriver:NewSession", {"capabilities": {}})
        if error:
            print(f"FAIL: no Marionette session: {error}")
            return 1
        session.call("WebDriver:SetTimeouts", {"pageLoad": 15000})
        for url in urls:
            error, _ = session.call("WebDriver:Navigate", {"url": url})
            print(f"{url}: {error['error'] if error else 'loaded'}")
        try:
            session.call("Marionette:Quit", {"flags": ["eForceQuit"]})
        except (OSError, ConnectionError, TimeoutError):
            pass
        return 0
    finally:
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def chromium(profile, urls, deadline):
    binary = shutil.which("chromium") or shutil.which("chromium-browser")
    if not binary:
        print("SKIP: chromium is missing (scripts/setup.sh installs it)")
        return 77
    os.makedirs(profile, exist_ok=True)
    for url in urls:
        # A process per visit: each starts with no cached script and no open connection.
        process = subprocess.Popen(
            [binary, "--headless=new", "--no-sandbox", f"--user-data-dir={profile}",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--disable-default-apps", "--timeout=15000", "--dump-dom", url],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            out, _ = process.communicate(timeout=max(1, min(60, deadline - time.monotonic())))
            print(f"{url}: {'loaded' if out.strip() else 'nothing'}")
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            print(f"{url}: no end in time")
    return 0


BROWSERS = {"firefox": firefox, "chromium": chromium}


def main():
    browser, profile, urls = sys.argv[1], sys.argv[2], sys.argv[3:]
    if browser not in BROWSERS:
        print(f"FAIL: unknown browser {browser} (known: {', '.join(BROWSERS)})")
        return 2
    return BROWSERS[browser](profile, urls, time.monotonic() + 120)


if __name__ == "__main__":
    sys.exit(main())
