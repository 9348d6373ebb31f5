#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The station page at desktop and phone width, from the built program, with the browser test's
harness: web-screenshots.py TEMPOVOX FOLDER writes web-desktop.png and web-phone.png."""
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
sys.dont_write_bytecode = True
import browser_test  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402


def screenshots(binary, folder):
    """The page at desktop and phone width during an announcement, with a few in the history.
    The voice folder is relative and the link has a name, so that no path of this machine shows."""
    with tempfile.TemporaryDirectory(prefix='tempovox-') as scratch:
        os.makedirs(os.path.join(scratch, 'voices'))
        os.symlink(os.path.join(os.path.dirname(os.path.abspath(binary)), 'WavFiles', 'brasil'),
                   os.path.join(scratch, 'voices', 'brasil'))
        station = browser_test.Station(binary, scratch, '[SETTINGS]\nFILELOCATION=voices/brasil/\nOPTION3=False\nOPTION4=False\n'
                          'OPTION7=False\nOPTION8=False\nOPTION10=False\nVOLSET=-600\n'
                          '[LINK]\nINFO=PY2TVX repeater, 145.390 MHz\n', 'pt_BR')
        try:
            station.send('DTMF 9#')
            for _ in range(2):
                station.send('DTMF 123')
                station.peer_waits_for('PTT 1', 5)
                station.peer_waits_for('PTT 0', 20)
            # The whole page on a desktop; on a phone, the first screen, which is what is looked at.
            for width, height, name in ((1280, None, 'web-desktop.png'), (390, 844, 'web-phone.png')):
                driver = browser_test.browser(width)
                viewport = lambda h: driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride', {
                    'width': width, 'height': h, 'deviceScaleFactor': 1, 'mobile': width < 600})
                try:
                    viewport(height or 900)
                    driver.get(station.url)
                    driver.find_element(By.ID, 'announce-now').click()
                    station.peer_waits_for('PTT 1', 5)
                    time.sleep(1.5)
                    if not height:
                        viewport(driver.execute_script('return document.documentElement.scrollHeight'))
                        time.sleep(0.3)
                    driver.save_screenshot(os.path.join(folder, name))
                    station.peer_waits_for('PTT 0', 20)
                finally:
                    driver.quit()
        finally:
            station.stop()


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    screenshots(sys.argv[1], sys.argv[2])
