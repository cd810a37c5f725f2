#!/usr/bin/python3
"""The Wayland tier: Sorelwick in a headless GNOME Shell session (start-session.sh), with the
shortcut delivered as a GNOME custom shortcut running `sorelwick --trigger`, in three editors:
gnome-text-editor (GTK 4, native Wayland), mousepad on Wayland (GTK 3, native) and mousepad on
XWayland. In each: a word selected with keys, Ctrl+Alt+H, a digit → the word replaced and nothing
else typed; Escape → nothing changed. Keys go in through mutter's RemoteDesktop API, as a user's.

usage: editors_test.py BUILD_DIR OUTPUT_DIR   (run inside the session: DIR/env sourced)
Screenshots of the panel over each editor go to OUTPUT_DIR."""
import json
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD, OUT = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SESSION = os.environ['SORELWICK_WAYLAND_SESSION']
SORELWICK = os.path.join(BUILD, 'bin', 'sorelwick')
SENTENCE = '대한민국의 수도는 서울이다'
REPLACED = '대한민국의 수도(首都)는 서울이다'
SELECT_SUDO = ['combo:Control_L+Home'] + ['key:Right'] * 6 + ['combo:Shift_L+Right'] * 2

failures = []


def log(*args):
    print('wayland:', *args, flush=True)


def run(*cmd, check=True):
    r = subprocess.run(cmd, capture_output=True, text=True, timeout=30)
    if check and r.returncode != 0:
        raise RuntimeError('%s failed (%d): %s' % (' '.join(cmd), r.returncode, r.stderr.strip()))
    return r


def keys(*cmds):
    run(os.path.join(HERE, 'rdc'), SESSION, *cmds)


def atspi(*args):
    return run('/usr/bin/python3', os.path.join(HERE, 'atspi-read.py'), *args, check=False)


def poll(what, condition, seconds=10.0):
    """Polls condition until it holds or the deadline passes; the last value it gave."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(0.05)


def shown_windows(pid):
    r = run('xdotool', 'search', '--onlyvisible', '--pid', str(pid), check=False)
    return r.stdout.split()


def active_window():
    r = run('xdotool', 'getactivewindow', check=False)
    return r.stdout.strip() if r.returncode == 0 else None


def panel_with_focus(pid):
    """The panel's window once it is shown and has the keyboard."""
    shown = shown_windows(pid)
    active = active_window()
    return active if active in shown else None


def gsettings(*args):
    run('gsettings', 'set', *args)


def bind_shortcut():
    key = 'org.gnome.settings-daemon.plugins.media-keys'
    path = '/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/sorelwick-test/'
    gsettings(key, 'custom-keybindings', "['%s']" % path)
    gsettings('%s.custom-keybinding:%s' % (key, path), 'name', 'Sorelwick')
    gsettings('%s.custom-keybinding:%s' % (key, path), 'command', '%s --trigger' % SORELWICK)
    gsettings('%s.custom-keybinding:%s' % (key, path), 'binding', '<Control><Alt>h')


def start_sorelwick():
    config = os.path.join(os.environ['XDG_CONFIG_HOME'], 'sorelwick')
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, 'defaults.json'), 'w') as f:
        json.dump({'onboardingDone': True}, f)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', SORELWICK_LOG_STDERR='1')
    logfile = open(os.path.join(OUT, 'sorelwick.log'), 'w')
    app = subprocess.Popen([SORELWICK], env=env, stdout=logfile, stderr=subprocess.STDOUT)
    # Ready once it answers on the accessibility bus, as the editors' text is read there too.
    if not poll('sorelwick on the bus', lambda: str(app.pid) in atspi('apps').stdout, 20):
        raise RuntimeError('Sorelwick did not come up on the accessibility bus')
    return app


def stop(process, seconds=5):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Editor:
    def __init__(self, name, command, env):
        self.name, self.command, self.env = name, command, env
        self.process = None

    def open(self):
        shutil.rmtree(os.path.join(os.environ['XDG_DATA_HOME'], 'org.gnome.TextEditor'), ignore_errors=True)
        path = os.path.join(SESSION, '%s.txt' % self.name)
        with open(path, 'w') as f:
            f.write(SENTENCE + '\n')
        env = dict(os.environ, **self.env)
        self.process = subprocess.Popen(self.command + [path], env=env, stdout=subprocess.DEVNULL,
                                        stderr=open(os.path.join(OUT, '%s.log' % self.name), 'w'))
        if atspi('wait', str(self.process.pid), '30').returncode != 0:
            raise RuntimeError('%s did not come up on the accessibility bus' % self.name)

    def text(self):
        return atspi('text', str(self.process.pid)).stdout.rstrip('\n')

    def select_word(self):
        # The window may take its first keys before it has the focus: selected again until it shows.
        def selected():
            keys(*SELECT_SUDO)
            return atspi('selection', str(self.process.pid)).stdout.strip() == '수도'
        return poll('selection', selected, 15)

    def close(self):
        stop(self.process)


def check(ok, what):
    if not ok:
        failures.append(what)
        log('FAIL', what)
    return ok


def press_shortcut_for_panel(editor, sorelwick):
    keys('combo:Control_L+Alt_L+h')
    return poll('panel', lambda: panel_with_focus(sorelwick.pid), 10)


def exercise(editor, sorelwick):
    log('---', editor.name)
    editor.open()
    try:
        if not check(editor.select_word(), '%s: 수도 selected with keys' % editor.name):
            return
        panel = press_shortcut_for_panel(editor, sorelwick)
        if not check(panel, '%s: the panel shows and takes the keys after Ctrl+Alt+H' % editor.name):
            return
        run('/usr/bin/python3', os.path.join(HERE, 'screenshot.py'),
            os.path.join(OUT, 'panel-over-%s.png' % editor.name))
        keys('key:1')
        text = poll('replaced', lambda: editor.text() == REPLACED and REPLACED, 10) or editor.text()
        check(text == REPLACED, '%s: 1 picks 首都 and nothing else is typed (text %r)' % (editor.name, text))
        check(poll('closed', lambda: not shown_windows(sorelwick.pid), 5), '%s: the panel closes' % editor.name)
        run('/usr/bin/python3', os.path.join(HERE, 'screenshot.py'),
            os.path.join(OUT, 'replaced-in-%s.png' % editor.name))

        before = editor.text()
        if not check(editor.select_word(), '%s: 수도 selected again' % editor.name):
            return
        if not check(press_shortcut_for_panel(editor, sorelwick), '%s: the panel shows again' % editor.name):
            return
        keys('key:Escape')
        check(poll('closed', lambda: not shown_windows(sorelwick.pid), 5), '%s: Escape closes the panel' % editor.name)
        # Whatever Escape might still do arrives in the time the editor takes to answer a read.
        keys('sleep:0.2')
        check(editor.text() == before, '%s: Escape changes nothing (text %r)' % (editor.name, editor.text()))
    finally:
        editor.close()


def main():
    os.makedirs(OUT, exist_ok=True)
    gsettings('org.gnome.TextEditor', 'restore-session', 'false')
    gsettings('org.xfce.mousepad.preferences.file', 'session-restore', 'never')
    bind_shortcut()
    sorelwick = start_sorelwick()
    editors = [
        Editor('gnome-text-editor', ['gnome-text-editor', '--standalone'], {'GDK_BACKEND': 'wayland'}),
        Editor('mousepad-wayland', ['mousepad', '--disable-server'], {'GDK_BACKEND': 'wayland'}),
        Editor('mousepad-xwayland', ['mousepad', '--disable-server'], {'GDK_BACKEND': 'x11'}),
    ]
    only = os.environ.get('SORELWICK_WAYLAND_EDITORS')
    try:
        for editor in editors:
            if only and editor.name not in only.split():
                continue
            try:
                exercise(editor, sorelwick)
            except RuntimeError as e:
                check(False, '%s: %s' % (editor.name, e))
    finally:
        stop(sorelwick)
    for line in failures:
        log('failed:', line)
    log('%d failed; screenshots in %s' % (len(failures), OUT))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
