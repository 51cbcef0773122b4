# Runs a command on a new pseudo-terminal, types one answer after each prompt
# (output ending in ':'), copies what the terminal showed to standard output
# and exits with the command's status. For the tool tests of password prompts.
# Usage: python3 pty_answer.py ANSWER... -- COMMAND...
import os
import pty
import select
import sys
import time

split = sys.argv.index('--')
answers, command = sys.argv[1:split], sys.argv[split + 1:]
pid, fd = pty.fork()
if pid == 0:
    os.execvp(command[0], command)
shown = b''
deadline = time.time() + 30
while time.time() < deadline:
    ready, _, _ = select.select([fd], [], [], 0.1)
    if fd not in ready:
        continue
    try:
        data = os.read(fd, 4096)
    except OSError:  # the command ended and closed the terminal
        break
    if not data:
        break
    shown += data
    if answers and shown.rstrip().endswith(b':'):
        time.sleep(0.1)  # echo is turned off after the prompt is written
        os.write(fd, answers.pop(0).encode() + b'\n')
_, status = os.waitpid(pid, 0)
sys.stdout.write(shown.decode(errors='replace'))
sys.exit(os.waitstatus_to_exitcode(status))
