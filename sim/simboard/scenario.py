"""A board's scenario: the fake camera's timeline with the runner's own
events among it. The runner's lines are

    TIME photo                 the operator's photo request (s_make_photo 1)
    TIME signal NAME...        signals to the service, each as soon as it took the
                               one before (TERM, USR1, ...; STOP and CONT around
                               others deliver those together)
    TIME run COMMAND...        a shell command inside the board
    TIME wait COMMAND...       the scenario stands still at TIME until the shell
                               command succeeds inside the board (the evidence
                               that what came before has happened)
    TIME stop                  ends the board: SIGTERM, then the wait for the service
    TIME restart-statemgrd     the state manager killed and started again
    TIME kill-statemgrd        the state manager killed for good
    TIME remove-stream         the stream manager's shared memory removed

and everything else is the camera's. The camera gets the file with the
runner's lines turned into comments, so its line numbers stay those of the
file, and each wait becomes a hold of the camera's clock until the
runner makes the hold's file."""

import os
import signal

RUNNER_EVENTS = ("photo", "signal", "run", "wait", "stop", "restart-statemgrd",
                 "kill-statemgrd", "remove-stream")


class Action:
    def __init__(self, time, event, argument, line):
        self.time = time
        self.event = event
        self.argument = argument  # signal numbers, or the command text
        self.line = line

    def describe(self):
        if self.event == "signal":
            return "signal " + " ".join(signal.Signals(n).name for n in self.argument)
        if self.event in ("run", "wait"):
            return self.event + " " + self.argument
        return self.event


def signal_number(name):
    """SIGTERM, TERM or 15 as a signal number; None when it is none."""
    if name.isdigit():
        number = int(name)
        return number if 0 < number < signal.NSIG else None
    name = name.upper()
    if not name.startswith("SIG"):
        name = "SIG" + name
    found = getattr(signal, name, None)
    return int(found) if isinstance(found, signal.Signals) else None


def hold_file(folder, action):
    """The file whose making ends the camera's hold of a wait."""
    return os.path.join(folder, "released-line-%d" % action.line)


def split(text, folder):
    """(camera text, actions in time order, problems as "line N: ..."); the
    camera's holds name their files in `folder`."""
    camera, actions, problems = [], [], []
    for number, line in enumerate(text.split("\n"), 1):
        body = line.split("#", 1)[0]
        words = body.split()
        if len(words) < 2 or words[1] not in RUNNER_EVENTS:
            camera.append(line)
            continue
        camera.append("# runner: " + body.strip())
        try:
            time = float(words[0])
            if time < 0:
                raise ValueError
        except ValueError:
            problems.append("line %d: time \"%s\" is not seconds from the start" %
                            (number, words[0]))
            continue
        event, rest = words[1], words[2:]
        if event == "signal":
            numbers = [signal_number(name) for name in rest]
            if not rest or None in numbers:
                problems.append("line %d: signal needs signal names or numbers" % number)
                continue
            actions.append(Action(time, event, numbers, number))
        elif event in ("run", "wait"):
            command = body.strip().split(None, 2)
            if len(command) < 3:
                problems.append("line %d: %s needs a command" % (number, event))
                continue
            action = Action(time, event, command[2], number)
            actions.append(action)
            if event == "wait":
                # The camera's line says the same time, so the picture stands
                # still from there until the runner has seen the evidence.
                camera[-1] = "%s hold %s  # runner: %s" % (words[0], hold_file(folder, action),
                                                          body.strip())
        elif rest:
            problems.append("line %d: %s takes no arguments" % (number, event))
        else:
            actions.append(Action(time, event, None, number))
    actions.sort(key=lambda action: action.time)
    return "\n".join(camera), actions, problems
