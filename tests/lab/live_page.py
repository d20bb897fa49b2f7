#!/usr/bin/python3
"""The lab's live page in headless Chromium, driven over the DevTools protocol: a row the lab
journals after the page loaded shows in it without a reload, the charts drawn again, and the
page's scripts throw nothing.

live_page.py LAB [LAB ARGUMENTS...]   (default: a missing device, a cant-connect row every few s)
QUORVEL_LIVE_SHOT=FILE.png also saves the page, 1280 px wide, once each receiver has 3 cycles.
"""
import base64, json, os, re, shutil, subprocess, sys, tempfile, time

if not os.path.exists('/usr/bin/chromium'):
    sys.exit(print('SKIPPED: needs /usr/bin/chromium (scripts/setup.sh installs it)'))
try:
    import websocket
except ImportError:
    sys.exit(print('SKIPPED: needs python3-websocket (scripts/setup.sh installs it)'))

BOUND_S = 30
# What the page holds now: the summary's cycles, the swaps, the mark and the charts.
STATE = r"""(() => {
  const table = document.querySelector('table.summary');
  const head = table && table.rows[0] ? [...table.rows[0].cells] : [];  // a page still loading has less
  const column = head.findIndex(c => c.textContent === 'cycles');
  const cycles = column < 0 ? [] : [...table.rows].slice(1).map(r => Number(r.cells[column]?.textContent));
  const canvas = document.getElementById('overview');
  const chart = window.Chart && canvas && Chart.getChart(canvas);
  let inked = 0;
  if (chart) {
    const pixels = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    for (let i = 3; i < pixels.length; i += 4) inked += pixels[i] > 0;
  }
  const note = document.getElementById('quorvel-live-note');
  return {cycles, marked: window.__marked === 1, updates: Number(document.documentElement.dataset.updates || 0),
          chart: !!chart, inked, width: canvas ? canvas.offsetWidth : 0, note: note && note.textContent,
          charts: window.Chart ? Object.keys(Chart.instances).length : 0, canvases: document.querySelectorAll('canvas').length};
})()"""


class Page:
    """One tab of the browser, over its DevTools socket; what it says of errors is kept."""
    def __init__(self, url):
        self.socket, self.next, self.session, self.errors = websocket.create_connection(url, timeout=10, suppress_origin=True), 0, None, []
        target = self.call('Target.createTarget', url='about:blank')['targetId']
        self.session = self.call('Target.attachToTarget', targetId=target, flatten=True)['sessionId']
        for domain in ('Runtime', 'Log', 'Page'):
            self.call(domain + '.enable')

    def call(self, method, **params):
        self.next += 1
        message = {'id': self.next, 'method': method, 'params': params}
        if self.session and not method.startswith('Target.'):
            message['sessionId'] = self.session
        self.socket.send(json.dumps(message))
        while True:
            got = json.loads(self.socket.recv())
            if got.get('id') == self.next:
                if 'error' in got:
                    raise RuntimeError(method + ': ' + got['error']['message'])
                return got['result']
            self.event(got.get('method'), got.get('params', {}))

    def event(self, method, p):
        if method == 'Runtime.exceptionThrown':
            d = p['exceptionDetails']
            self.errors.append(d.get('exception', {}).get('description') or d.get('text'))
        elif method == 'Log.entryAdded' and p['entry']['level'] == 'error' and p['entry']['source'] != 'network':
            self.errors.append(p['entry']['text'])
        elif method == 'Runtime.consoleAPICalled' and p['type'] in ('error', 'assert'):
            self.errors.append(' '.join(str(a.get('value', a.get('description'))) for a in p['args']))

    def eval(self, expression):
        got = self.call('Runtime.evaluate', expression=expression, returnByValue=True)
        if 'exceptionDetails' in got:
            d = got['exceptionDetails']
            raise RuntimeError(expression[:40] + ': ' + d.get('exception', {}).get('description', d['text']))
        return got['result'].get('value')


def wait_for_line(path, pattern, process, what):
    end = time.time() + BOUND_S
    while time.time() < end:
        found = re.search(pattern, open(path, errors='replace').read())
        if found:
            return found.group(1)
        if process.poll() is not None:
            sys.exit(f'FAILED: {what} ended ({process.returncode}) before saying where it listens:\n'
                     + open(path, errors='replace').read())
        time.sleep(0.1)
    sys.exit(f'FAILED: {what} did not say where it listens within {BOUND_S} s')


def main():
    lab_args = sys.argv[2:] or ['--retry', '1', '/dev/quorvel-none']
    work = tempfile.mkdtemp(prefix='quorvel-live-')
    out, err = os.path.join(work, 'lab.out'), os.path.join(work, 'browser.err')
    lab = subprocess.Popen([sys.argv[1], '--http', '127.0.0.1:0', '--journal', os.path.join(work, 'j.csv')] + lab_args,
                           stdout=open(out, 'w'), stderr=subprocess.STDOUT)
    browser = subprocess.Popen(['/usr/bin/chromium', '--headless', '--no-sandbox', '--disable-gpu',
                                '--no-first-run', '--disable-background-networking', '--disable-component-update',
                                '--disable-sync', '--window-size=1280,900', '--remote-debugging-port=0',
                                '--user-data-dir=' + os.path.join(work, 'profile'), 'about:blank'],
                               stdout=subprocess.DEVNULL, stderr=open(err, 'w'))
    try:
        site = wait_for_line(out, r'Serving the bench at (http://\S+/)', lab, 'quorvel-lab')
        page = Page(wait_for_line(err, r'DevTools listening on (ws://\S+)', browser, 'chromium'))
        page.call('Page.navigate', url=site)
        end = time.time() + BOUND_S
        while page.eval('document.readyState') != 'complete' or page.eval('location.href') != site:
            if time.time() > end:
                sys.exit(f'FAILED: {site} did not load within {BOUND_S} s')
            time.sleep(0.2)
        first = page.eval(STATE)
        page.eval('window.__marked = 1')
        print('first load:', first)
        end, now = time.time() + BOUND_S, first
        # Two swaps: the page goes on fetching after the first.
        while not (sum(now['cycles']) > sum(first['cycles']) and now['marked'] and now['updates'] >= 2):
            if time.time() > end:
                sys.exit(f'FAILED: no new row in the page without a reload within {BOUND_S} s: at first load '
                         f'{first}, now {now} (marked false: the page reloaded; updates 0: never swapped)')
            time.sleep(0.5)
            try:
                now = page.eval(STATE)
            except RuntimeError as e:  # a page being loaded again may have no state to give
                now = dict(now, loading=str(e))
        print('after the swap:', now)
        failures = []
        if not (now['chart'] and now['inked'] > 0 and now['width'] > 0):
            failures.append('the overview chart is not drawn after a swap')
        if now['charts'] != now['canvases']:
            failures.append(f'{now["charts"]} charts alive for {now["canvases"]} canvases: the old ones live on')
        if now['note']:
            failures.append('the page says: ' + now['note'])
        shot = os.environ.get('QUORVEL_LIVE_SHOT')
        if shot:
            end = time.time() + 300
            while min(page.eval(STATE)['cycles'] or [0]) < 3 and time.time() < end:
                time.sleep(1)
            time.sleep(2 * 3)  # two polls: the charts of the last row too
            height = page.call('Page.getLayoutMetrics')['cssContentSize']['height']
            png = page.call('Page.captureScreenshot', format='png', captureBeyondViewport=True,
                            clip={'x': 0, 'y': 0, 'width': 1280, 'height': height, 'scale': 1})['data']
            open(shot, 'wb').write(base64.b64decode(png))
        # The lab gone just after a swap: the page says since when it shows what it shows.
        end, updates = time.time() + 2 * 3, page.eval(STATE)['updates']
        while page.eval(STATE)['updates'] == updates and time.time() < end:
            time.sleep(0.1)
        swapped = page.eval('[0, -1].map(d => new Date(Date.now() + d * 1000).toLocaleTimeString())')
        lab.terminate()
        end = time.time() + 3 * 3
        while not page.eval(STATE)['note'] and time.time() < end:
            time.sleep(0.2)
        said = page.eval(STATE)['note'] or ''
        if 'the lab does not answer' not in said or not any('since ' + t + ':' in said for t in swapped):
            failures.append(f'with the lab gone after a swap at {swapped[0]}, the page says "{said}"')
        if page.errors:
            failures.append("the page's scripts said: " + ' | '.join(page.errors))
        if failures:
            sys.exit('FAILED: ' + '; '.join(failures))
        print('rows came in without a reload, the charts drawn again, no script error; the lab gone is said')
    finally:
        for p in (browser, lab):
            p.terminate()
            p.wait(10)
        for _ in range(50):  # the browser's helpers may still write its profile a moment
            shutil.rmtree(work, ignore_errors=True)
            if not os.path.exists(work):
                break
            time.sleep(0.1)


main()
