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


def screenshot(name):
    keys('shot:' + os.path.join(OUT, name))


def poll(condition, seconds=10.0):
    """Polls condition until it holds or the deadline passes; the last value it gave."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(0.05)


def shown_windows(pid):
    return run('xdotool', 'search', '--onlyvisible', '--pid', str(pid), check=False).stdout.split()


def panel_with_focus(pid):
    """The panel's window once it is shown and has the keyboard."""
    active = run('xdotool', 'getactivewindow', check=False).stdout.strip()
    return active if active and active in shown_windows(pid) else None


def check(ok, what):
    if not ok:
        failures.append(what)
        log('FAIL', what)
    return ok


def start_sorelwick():
    key = 'org.gnome.settings-daemon.plugins.media-keys'
    path = '/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/sorelwick-test/'
    run('gsettings', 'set', key, 'custom-keybindings', "['%s']" % path)
    for name, value in (('name', 'Sorelwick'), ('command', '%s --trigger' % SORELWICK), ('binding', '<Control><Alt>h')):
        run('gsettings', 'set', '%s.custom-keybinding:%s' % (key, path), name, value)
    config = os.path.join(os.environ['XDG_CONFIG_HOME'], 'sorelwick')
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, 'defaults.json'), 'w') as f:
        json.dump({'onboardingDone': True}, f)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', SORELWICK_LOG_STDERR='1')
    app = subprocess.Popen([SORELWICK], env=env, stdout=open(os.path.join(OUT, 'sorelwick.log'), 'w'),
                           stderr=subprocess.STDOUT)
    # Ready once it answers on the accessibility bus, as the editors' text is read there too.
    if not poll(lambda: str(app.pid) in atspi('apps').stdout, 20):
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


def exercise(name, command, env, sorelwick):
    log('---', name)
    shutil.rmtree(os.path.join(os.environ['XDG_DATA_HOME'], 'org.gnome.TextEditor'), ignore_errors=True)
    path = os.path.join(SESSION, '%s.txt' % name)
    with open(path, 'w') as f:
        f.write(SENTENCE + '\n')
    editor = subprocess.Popen(command + [path], env=dict(os.environ, **env), stdout=subprocess.DEVNULL,
                              stderr=open(os.path.join(OUT, '%s.log' % name), 'w'))
    pid = str(editor.pid)
    text = lambda: atspi('text', pid).stdout.rstrip('\n')

    def list_over_word(what):
        # The window may take its first keys before it has the focus: selected again until it shows.
        def selected():
            keys(*SELECT_SUDO)
            return atspi('selection', pid).stdout.strip() == '수도'
        if not check(poll(selected, 15), '%s: 수도 selected with keys%s' % (name, what)):
            return False
        keys('combo:Control_L+Alt_L+h')
        return check(poll(lambda: panel_with_focus(sorelwick.pid)),
                     '%s: the panel shows and takes the keys after Ctrl+Alt+H%s' % (name, what))

    try:
        if not poll(lambda: atspi('text', pid).returncode == 0, 30):
            raise RuntimeError('%s did not come up on the accessibility bus' % name)
        if not list_over_word(''):
            return
        screenshot('panel-over-%s.png' % name)
        keys('key:1')
        got = poll(lambda: text() == REPLACED and REPLACED) or text()
        check(got == REPLACED, '%s: 1 picks 首都 and nothing else is typed (text %r)' % (name, got))
        check(poll(lambda: not shown_windows(sorelwick.pid), 5), '%s: the panel closes' % name)
        screenshot('replaced-in-%s.png' % name)

        before = text()
        if not list_over_word(' again'):
            return
        keys('key:Escape')
        check(poll(lambda: not shown_windows(sorelwick.pid), 5), '%s: Escape closes the panel' % name)
        # Whatever Escape might still do arrives in the time the editor takes to answer a read.
        keys('sleep:0.2')
        check(text() == before, '%s: Escape changes nothing (text %r)' % (name, text()))
    finally:
        stop(editor)


def main():
    os.makedirs(OUT, exist_ok=True)
    run('gsettings', 'set', 'org.gnome.TextEditor', 'restore-session', 'false')
    run('gsettings', 'set', 'org.xfce.mousepad.preferences.file', 'session-restore', 'never')
    sorelwick = start_sorelwick()
    editors = [
        ('gnome-text-editor', ['gnome-text-editor', '--standalone'], {'GDK_BACKEND': 'wayland'}),
        ('mousepad-wayland', ['mousepad', '--disable-server'], {'GDK_BACKEND': 'wayland'}),
        ('mousepad-xwayland', ['mousepad', '--disable-server'], {'GDK_BACKEND': 'x11'}),
    ]
    only = os.environ.get('SORELWICK_WAYLAND_EDITORS', '').split()
    try:
        for name, command, env in editors:
            if not only or name in only:
                try:
                    exercise(name, command, env, sorelwick)
                except RuntimeError as e:
                    check(False, '%s: %s' % (name, e))
    finally:
        stop(sorelwick)
    for line in failures:
        log('failed:', line)
    log('%d failed; screenshots in %s' % (len(failures), OUT))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
