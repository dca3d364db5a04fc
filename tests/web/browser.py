#!/usr/bin/env python3
"""The operator's page in a browser: the real service on a simulated board,
BusyBox httpd serving dravel-web with the example configuration's basic
authentication, and headless Chromium driven through chromedriver's
WebDriver protocol. The board's scenario holds the camera until what the
browser did on the page shows on the board; the browser waits for the page
(or the pass journal) to show what the service did.

    tests/web/browser.py [--build DIR]

Leaves a screenshot of the live page in BUILD/tests/web; exit status 77
(skipped) where Chromium, chromedriver or BusyBox is missing."""

import argparse
import base64
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.realpath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(TOP, "sim"))
from simboard import waiting  # noqa: E402

SKIPPED = 77
DEADLINE = 60
# An operator of etc/streams.ini, with the example's password.
AUTHORIZATION = "Basic " + base64.b64encode(b"anna:change-me").decode()
ELEMENT = "element-6066-11e4-a52e-4f735466cecf"


def free_ports(count):
    """Ports nobody listens on, all different: held together while chosen."""
    held = [socket.socket() for _ in range(count)]
    for s in held:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in held]
    for s in held:
        s.close()
    return ports


def answers(port):
    try:
        socket.create_connection(("127.0.0.1", port), 1).close()
        return True
    except OSError:
        return False


class Browser:
    """One headless Chromium session of chromedriver at `port`."""

    def __init__(self, port):
        self.base = "http://127.0.0.1:%d" % port
        options = {"binary": shutil.which("chromium"),
                   "args": ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                            "--window-size=1000,1500"]}
        self.session = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {
            "goog:chromeOptions": options}}})["sessionId"]
        # The user httpd lets in, sent with every request the page makes.
        self.do("goog/cdp/execute", {"cmd": "Network.enable", "params": {}})
        self.do("goog/cdp/execute", {"cmd": "Network.setExtraHTTPHeaders",
                                     "params": {"headers": {"Authorization": AUTHORIZATION}}})

    def call(self, method, path, body=None):
        data = json.dumps(body or {}).encode() if method == "POST" else None
        request = urllib.request.Request(self.base + path, data,
                                         {"Content-Type": "application/json"}, method=method)
        try:
            with urllib.request.urlopen(request, timeout=DEADLINE) as answer:
                return json.load(answer)["value"]
        except urllib.error.HTTPError as error:
            raise RuntimeError("chromedriver, %s %s: %s" % (
                method, path, json.load(error)["value"].get("message"))) from None

    def do(self, what, body=None, method="POST"):
        return self.call(method, "/session/%s/%s" % (self.session, what), body)

    def text(self):
        return self.do("execute/sync", {"script": "return document.body.innerText", "args": []})

    def wait_text(self, pattern):
        waiting.until(lambda: re.search(pattern, self.text()), DEADLINE,
                      "\"%s\" on the page" % pattern, step=0.2)

    def element(self, css):
        return self.do("element", {"using": "css selector", "value": css})[ELEMENT]

    def click(self, css):
        self.do("element/%s/click" % self.element(css))

    def type(self, css, text):
        self.do("element/%s/value" % self.element(css), {"text": text})


def drive(browser, page, journal):
    browser.do("url", {"url": page})
    # The live list, refreshed by the page itself.
    browser.wait_text(r"A001AA77\tРазрешено")
    browser.wait_text(r"A002AA77\tЗапрещено")
    browser.click('#inside form:has(input[value="A001AA77"]) button')
    browser.wait_text("Corrected")
    browser.do("url", {"url": page})
    browser.wait_text(r"A002AA77\tРазрешено")
    browser.wait_text(r"G100GG77\tЗапрещено")
    browser.do("url", {"url": page + "?access"})
    browser.type('input[type="text"][name="pattern"]', "G100GG77")
    browser.type('input[name="owner"]', "Guest")
    browser.click('form:has(select[name="do"]) button')
    browser.wait_text("The service was told to reload")
    browser.do("url", {"url": page})
    browser.wait_text(r"G100GG77\tРазрешено")
    browser.wait_text(r"E555EE77\tЗапрещено")
    browser.click('form:has(input[value="open"]) button')
    browser.wait_text("The photo request is made")
    waiting.until(lambda: os.path.exists(journal) and re.search(
        r";E555EE77;.*;Разрешено вручную оператором;", open(journal, encoding="cp1251").read()), DEADLINE,
        "the hand opening in the pass journal", step=0.2)
    browser.do("url", {"url": page})
    browser.wait_text(r"E555EE77\tРазрешено")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(TOP, "build"))
    build = os.path.realpath(parser.parse_args().build)
    missing = [name for name in ("chromium", "chromedriver", "busybox") if not shutil.which(name)]
    if missing:
        print("browser: skipped, %s not installed (Debian packages chromium, chromium-driver, "
              "busybox)" % ", ".join(missing))
        return SKIPPED
    out = os.path.join(build, "tests", "web")
    run = os.path.join(out, "run")
    shutil.rmtree(run, ignore_errors=True)
    os.makedirs(os.path.join(run, "www", "cgi-bin"))
    os.symlink(os.path.join(build, "tools", "dravel-web", "dravel-web"),
               os.path.join(run, "www", "cgi-bin", "dravel-web"))
    http_port, driver_port = free_ports(2)
    text = open(os.path.join(HERE, "scenario")).read()
    for word, value in (("@RUN@", run), ("@TOP@", TOP), ("@PORT@", str(http_port))):
        text = text.replace(word, value)
    open(os.path.join(run, "scenario"), "w").write(text)
    board = subprocess.Popen([os.path.join(TOP, "sim", "board"), "--run", run, "--build", build,
                              "--config", os.path.join(HERE, "etc"), "--speed", "4",
                              "--access", os.path.join(HERE, "access.csv"),
                              "--scenario", os.path.join(run, "scenario")])
    driver = subprocess.Popen(["chromedriver", "--port=%d" % driver_port],
                              stdout=subprocess.DEVNULL)
    browser = None
    driven = False
    screenshot = os.path.join(out, "operator-page.png")
    try:
        waiting.until(lambda: answers(http_port) and answers(driver_port), DEADLINE,
                      "httpd and chromedriver", step=0.1)
        browser = Browser(driver_port)
        drive(browser, "http://127.0.0.1:%d/cgi-bin/dravel-web" % http_port,
              os.path.join(run, "net-base", "netpassbase.csv"))
        driven = True
    finally:
        if browser:
            with open(screenshot, "wb") as f:
                f.write(base64.b64decode(browser.do("screenshot", method="GET")))
            print("browser: the live page is in", screenshot)
            browser.call("DELETE", "/session/" + browser.session)
        driver.terminate()
        driver.wait()
        # The board's last hold ends, and it stops its httpd.
        open(os.path.join(run, "browser-done"), "w").close()
        try:
            board.wait(DEADLINE if driven else 0)
        except subprocess.TimeoutExpired:
            board.terminate()
            board.wait()
            with open(os.path.join(run, "httpd.pid")) as f:
                os.kill(int(f.read()), signal.SIGTERM)
    return board.returncode


if __name__ == "__main__":
    sys.exit(main())
