#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The station page in a real browser, against the built program run headless with a link peer.

    browser_test.py TEMPOVOX     ends with "N passed, N failed"

scripts/web-screenshots.py shoots the page with the same harness.
"""
import http.client
import json
import os
import queue
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
import wave

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

STEMS = ['Blank', 'DingDong', 'DingDong2', 'GoodMorning', 'GoodEvening', 'GoodAfternoon', 'TheTimeIs',
         'Hour', 'Minutes', 'AM', 'PM'] + [f'{n:02}' for n in range(60)]


def short_voice(folder, seconds=0.25):
    """A voice whose every clip is a short silence, so that an announcement takes about a second."""
    os.makedirs(folder)
    for stem in STEMS:
        with wave.open(os.path.join(folder, stem + '.wav'), 'wb') as clip:
            clip.setnchannels(1)
            clip.setsampwidth(2)
            clip.setframerate(8000)
            clip.writeframes(b'\0\0' * int(8000 * seconds))


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


class Station:
    """The built program headless, with private settings and runtime folders, and a link peer
    that records every line the program sends it."""

    def __init__(self, binary, scratch, settings, language):
        config = os.path.join(scratch, 'config')
        runtime = os.path.join(scratch, 'runtime')
        os.makedirs(config)
        os.makedirs(runtime, mode=0o700)
        self.ini_path = os.path.join(config, 'Tempovox.ini')
        self.port = free_port()
        with open(self.ini_path, 'w') as ini:
            ini.write(settings + f'[AUDIO]\nSINK=fakesink sync=true\n[WEB]\nLISTEN=127.0.0.1:{self.port}\n')
        env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM='offscreen',
                   LANGUAGE=language)
        self.errors = []
        self.address = queue.Queue()
        self.process = subprocess.Popen([os.path.abspath(binary), '--headless'], env=env, cwd=scratch, stdin=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE, text=True)
        threading.Thread(target=self._read_errors, daemon=True).start()
        self.url = self.address.get(timeout=15)
        self.token = re.search(r'token=([^&\s]+)', self.url).group(1)
        self.peer_lines = queue.Queue()
        self.peer = socket.socket(socket.AF_UNIX)
        self.peer.connect(os.path.join(runtime, 'tempovox', 'link.sock'))
        threading.Thread(target=self._read_peer, daemon=True).start()

    # The pipe is drained all the time: a program blocked on a full stderr would stop answering.
    def _read_errors(self):
        for line in self.process.stderr:
            self.errors.append(line)
            found = re.search(r'http://\S+/\?token=\S+', line)
            if found:
                self.address.put(found.group(0))

    def _read_peer(self):
        for line in self.peer.makefile('r'):
            self.peer_lines.put(line.strip())

    def send(self, line):
        self.peer.sendall(line.encode() + b'\n')

    def peer_waits_for(self, wanted, seconds):
        """Whether the peer reads the line wanted within the time, dropping the lines before it."""
        end = time.monotonic() + seconds
        while (left := end - time.monotonic()) > 0:
            try:
                if self.peer_lines.get(timeout=left) == wanted:
                    return True
            except queue.Empty:
                break
        return False

    def request(self, method, path, headers, body=None):
        connection = http.client.HTTPConnection('127.0.0.1', self.port, timeout=5)
        if body is not None:
            headers = dict(headers, **{'Content-Type': 'application/json'})
            body = json.dumps(body)
        connection.request(method, path, body=body, headers=headers)
        answer = connection.getresponse()
        data = answer.read()
        connection.close()
        return answer.status, json.loads(data) if data.startswith(b'{') else None

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
        self.peer.close()


def browser(width, height=900):
    options = Options()
    options.binary_location = '/usr/bin/chromium'
    # No sandbox: CI containers run as root, which chromium's sandbox refuses.
    for argument in ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                     f'--window-size={width},{height}', '--hide-scrollbars', '--lang=pt-BR']:
        options.add_argument(argument)
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, name, condition, detail=''):
        if condition:
            self.passed += 1
        else:
            self.failed += 1
            print(f'FAIL {name} {detail}'.rstrip(), flush=True)

    def wait(self, name, driver, condition, seconds):
        try:
            WebDriverWait(driver, seconds, poll_frequency=0.05).until(lambda _: condition())
            self.passed += 1
            return True
        except TimeoutException:
            self.check(name, False, f'(not within {seconds} s)')
            return False


def text(driver, element_id):
    return driver.find_element(By.ID, element_id).text


# Every value data-keyed takes, with the transmitter's text at that moment, however briefly.
WATCH_TRANSMITTER = """
window.seenKeyed = [];
new MutationObserver(() => {
    const tx = document.getElementById('transmitter');
    window.seenKeyed.push([tx.dataset.keyed, tx.textContent]);
}).observe(document.getElementById('transmitter'), {attributes: true, childList: true, subtree: true});
"""


def run_test(binary):
    checks = Checks()
    with tempfile.TemporaryDirectory() as scratch:
        voice = os.path.join(scratch, 'voice')
        short_voice(voice)
        # No language chosen, so that the folder of the short voice is kept.
        settings = (f'[SETTINGS]\nFILELOCATION={voice}/\nOPTION3=False\nOPTION4=False\nOPTION7=False\n'
                    'OPTION8=False\nOPTION10=False\nHALFHOUR=0\nDTMFTIME=123\n')
        # Spanish, so that the page is seen to speak the language the window would.
        station = Station(binary, scratch, settings, 'es')
        driver = browser(1280)
        try:
            page_checks(checks, station, driver)
            security_checks(checks, station, driver)
        finally:
            driver.quit()
            station.stop()
        if checks.failed:
            print(''.join(station.errors[-40:]), end='')
    print(f'{checks.passed} passed, {checks.failed} failed')
    return 1 if checks.failed else 0


def page_checks(checks, station, driver):
    # The printed address leaves its token in a cookie and the page without it in the address bar.
    driver.get(station.url)
    checks.check('the token leaves the address bar', 'token=' not in driver.current_url, driver.current_url)
    clock = lambda: text(driver, 'clock')
    if checks.wait('the clock shows the station time', driver, lambda: re.fullmatch(r'\d\d:\d\d:\d\d', clock()), 10):
        first = clock()
        checks.wait('the clock ticks', driver, lambda: clock() != first, 5)
    checks.check('the page speaks the window language', driver.find_element(By.TAG_NAME, 'html').get_attribute('lang')
                 == 'es' and text(driver, 'settings-save') == 'Guardar', text(driver, 'settings-save'))
    checks.check('transmitter off at start', text(driver, 'transmitter').startswith('PTT OFF'), text(driver, 'transmitter'))

    # Announce now: the page shows the transmitter keyed and released, as the peer hears it.
    history = lambda: len(driver.find_elements(By.CSS_SELECTOR, '#history tbody tr'))
    before = history()
    driver.execute_script(WATCH_TRANSMITTER)
    driver.find_element(By.ID, 'announce-now').click()
    checks.check('the peer is keyed', station.peer_waits_for('PTT 1', 5))
    checks.check('and released', station.peer_waits_for('PTT 0', 10))
    seen = lambda: driver.execute_script('return window.seenKeyed')
    keyed_then_released = lambda: (any(k == 'true' and 'PTT ON' in t for k, t in seen()) and
                                   seen()[-1][0] == 'false' and 'PTT OFF' in seen()[-1][1])
    checks.wait('the page shows PTT ON, then PTT OFF', driver, keyed_then_released, 5)
    checks.wait('the announcement joins the history', driver, lambda: history() == before + 1, 5)

    # The same form the window follows: greyed keys cannot be changed, a save writes the file.
    form_checks(checks, station, driver)


def form_checks(checks, station, driver):
    field = lambda key: driver.find_element(By.CSS_SELECTOR, f'#settings-form input[name="{key}"], '
                                                            f'#settings-form input[value="{key}"]')
    checks.wait('the form is filled', driver, lambda: field('DTMFTIME').get_attribute('value') == '123', 5)
    greyed = driver.execute_script('return [...document.querySelectorAll("#settings-form input:disabled")]'
                                   '.map((i) => i.type === "radio" ? i.value : i.name)')
    code = field('DTMFTIME')
    code.clear()
    code.send_keys('4567')
    field('HALFHOUR').click()
    driver.find_element(By.ID, 'settings-save').click()
    saved = lambda: driver.find_element(By.ID, 'settings-status').get_attribute('data-state') == 'ok'
    checks.wait('the page says saved', driver, saved, 5)
    with open(station.ini_path) as ini:
        written = ini.read()
    for line in ('DTMFTIME=4567', 'HALFHOUR=1'):
        checks.check(f'Tempovox.ini holds {line}', line in written, written)
    checks.check('the window greys the other languages', {'OPTION8', 'OPTION10'} <= set(greyed), greyed)

    # A value the window cannot take (a control character, which no key types) is refused with
    # its reason, and the file keeps what it had.
    driver.execute_script('arguments[0].value = "12\\u0001"; '
                          'arguments[0].dispatchEvent(new Event("input", {bubbles: true}))', field('DTMFTIME'))
    driver.find_element(By.ID, 'settings-save').click()
    refused = lambda: driver.find_element(By.ID, 'settings-status').get_attribute('data-state') == 'error'
    if checks.wait('a refused save says so', driver, refused, 5):
        checks.check('and why', 'DTMFTIME' in text(driver, 'settings-status'), text(driver, 'settings-status'))
    with open(station.ini_path) as ini:
        checks.check('and the file is unchanged', ini.read() == written)

    # A change made elsewhere (the window, another page) shows at once, but not over a field the
    # operator has changed and not saved.
    bearer = {'Authorization': 'Bearer ' + station.token}
    station.request('PUT', '/api/settings', bearer, {'values': {'DTMFTIME': '777', 'ONHOUR': '1'}})
    station.request('PUT', '/api/playback', bearer, {'volume': -1500, 'speed': 150})
    checks.wait('settings changed elsewhere show on the page', driver, lambda: field('ONHOUR').is_selected(), 5)
    checks.check('an unsaved field is kept', field('DTMFTIME').get_attribute('value') == '12\u0001')
    checks.wait('volume and speed changed elsewhere show on the page', driver,
                lambda: [driver.find_element(By.ID, i).get_attribute('value') for i in ('volume', 'speed')] ==
                ['-1500', '150'], 5)
    # And the keyboard moves a slider on the station.
    driver.find_element(By.ID, 'speed').send_keys(Keys.ARROW_RIGHT)
    speed = lambda: station.request('GET', '/api/status', bearer)[1]['speed']
    checks.wait('an arrow key on the speed slider reaches the station', driver, lambda: speed() == 151, 5)


def security_checks(checks, station, driver):
    bearer = {'Authorization': 'Bearer ' + station.token}
    host = f'127.0.0.1:{station.port}'
    cookie = {'Cookie': 'tempovox_token=' + station.token, 'X-Tempovox-Request': '1', 'Host': host}
    cases = [
        ('a wrong token', 'GET', '/api/status', {'Authorization': 'Bearer ' + 'x' * len(station.token)}, (401,)),
        ('a foreign Host', 'GET', '/api/status', dict(bearer, Host='tempovox.example'), range(400, 500)),
        ('a foreign Origin', 'POST', '/api/announce', dict(cookie, Origin='http://tempovox.example'), (403,)),
    ]
    for name, method, path, headers, expected in cases:
        status, _ = station.request(method, path, headers)
        checks.check(f'{name} is answered {list(expected)[:1]}', status in expected, status)
    checks.check('nothing is announced for a foreign page', not station.peer_waits_for('PTT 1', 1.5))

    # Without its cookie the page asks for the address with its token.
    driver.delete_all_cookies()
    driver.get(f'http://{host}/')
    checks.wait('a page without the token says how to get in', driver,
                lambda: driver.find_element(By.ID, 'auth-error').is_displayed(), 5)


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(run_test(sys.argv[1]))
