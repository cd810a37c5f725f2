#!/usr/bin/python3
"""Press → panel on a GNOME Wayland desktop, as the desktop delivers the shortcut: `sorelwick
--trigger` started as a process (what a GNOME custom shortcut does), timed from its start until
the panel's window becomes the active one (it has the keyboard), in gnome-text-editor (GTK 4,
native Wayland). Escape closes the panel between presses. Prints p50, p95 and max over the
presses.

Run in the headless session of the Wayland tier:
  D=$(mktemp -d); tests/wayland/start-session.sh $D 84; . $D/env
  SORELWICK_WAYLAND_SESSION=$D bench/wayland-press-bench.py build [presses=30]
  tests/wayland/stop-session.sh $D 84"""
import os
import queue
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'wayland'))
sys.argv = [sys.argv[0], sys.argv[1], os.path.join(os.path.abspath(sys.argv[1]), 'test-output', 'wayland-bench')] \
    + sys.argv[2:]
import editors_test as t  # noqa: E402


class ActiveWindowWatch:
    """When the active window changes, as XWayland's root tells it: `xprop -spy` waits for the
    change and prints it, so the time is the change's, not that of the next poll (spawning
    xdotool twice per poll took 50–100 ms on a busy machine)."""

    def __init__(self):
        self.spy = subprocess.Popen(['xprop', '-spy', '-root', '_NET_ACTIVE_WINDOW'], stdout=subprocess.PIPE,
                                    text=True, bufsize=1)
        self.changes = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.spy.stdout:
            try:  # "_NET_ACTIVE_WINDOW(WINDOW): window id # 0x1400007", in xdotool's decimal
                window = str(int(line.rsplit(' ', 1)[-1], 16))
            except ValueError:
                continue
            self.changes.put((time.monotonic(), window))

    def next_change(self, after, accept, seconds):
        """The time of the first change at or after `after` to a window accept() takes."""
        deadline = time.monotonic() + seconds
        while True:
            try:
                when, window = self.changes.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                return None
            if when >= after and accept(window):
                return when

    def close(self):
        self.spy.terminate()
        self.spy.wait()


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(p / 100.0 * (len(values) - 1) + 0.5))]


def main():
    presses = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    os.makedirs(t.OUT, exist_ok=True)
    t.gsettings('org.gnome.TextEditor', 'restore-session', 'false')
    sorelwick = t.start_sorelwick()
    editor = t.Editor('gnome-text-editor', ['gnome-text-editor', '--standalone'], {'GDK_BACKEND': 'wayland'})
    figures = []
    watch = ActiveWindowWatch()
    panels = set()

    def is_panel(window):
        if window in panels:
            return True
        if window in t.shown_windows(sorelwick.pid):
            panels.add(window)
            return True
        return False

    try:
        editor.open()
        if not editor.select_word():
            sys.exit('no selection in the editor')
        for _ in range(presses + 1):
            start = time.monotonic()
            subprocess.run([t.SORELWICK, '--trigger'], check=True)
            shown = watch.next_change(start, is_panel, 5)
            if not shown or not t.poll('panel', lambda: t.panel_with_focus(sorelwick.pid), 5):
                sys.exit('no panel with the keys after --trigger')
            figures.append((shown - start) * 1000)
            t.keys('key:Escape')
            t.poll('closed', lambda: not t.shown_windows(sorelwick.pid), 5)
        figures = figures[1:]  # the first press walks the editor's widgets once
    finally:
        watch.close()
        editor.close()
        t.stop(sorelwick)
    print('wayland press → panel over %d presses (--trigger process start → panel with the keys): '
          'p50 %.0f ms, p95 %.0f ms, max %.0f ms' % (len(figures), percentile(figures, 50), percentile(figures, 95),
                                                    max(figures)))


if __name__ == '__main__':
    main()
