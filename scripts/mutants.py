#!/usr/bin/env python3
"""Deliberate breakage: does the suite catch small faults?

Applies each fault below alone to a copy of the committed sources (git archive of HEAD), builds
it and runs the suite under a virtual display, stopping at the first failing test. A fault that
no test catches is a hole in the tests. The results go to stdout and to RESULTS (default
build-mutants/results.txt), one line a fault: its set and number, CAUGHT by which test, or
MISSED.

    scripts/mutants.py [--check] [--set NAME] [--only N,N,...] [--workers N] [--results FILE]

--set picks one set of faults (default: every set); --only numbers count within each set
chosen. --workers runs that many faults at once, each in a copy of its own (the suite mostly
waits, so two or three fit on two cores). --check only verifies that every fault's text is found
exactly once. Needs what scripts/install-deps.sh installs, and python3.
"""

import argparse
import os
import queue
import re
import shutil
import subprocess
import sys
import threading

# Named sets of faults, each (file, what the fault is, text as it stands, text with the fault).
# A set is written by someone who has not read the tests, over the code one round changed.
FIRST = [
    # link/
    ("link/LineFramer.cpp", "endless line kept whole",
     "if (pending.size() < maxLineLength)", "if (pending.size() <= maxLineLength * 4)"),
    ("link/LineFramer.cpp", "NUL no longer cuts a line",
     "return QString::fromUtf8(nul < 0 ? raw : raw.left(nul));", "return QString::fromUtf8(raw);"),
    ("link/TerminalCommunication.cpp", "a vanished device still counts as connected",
     "if (portInfo && !presence.isPresent())", "if (false && portInfo && !presence.isPresent())"),
    ("link/TerminalCommunication.cpp", "DTR failure on a pseudo-terminal is fatal",
     "if (port->error() == QSerialPort::UnsupportedOperationError) {",
     "if (port->error() == QSerialPort::NotOpenError) {"),
    ("link/SettingsStore.cpp", "an unknown enum number is taken as it is",
     "    return fallback;\n}", "    return Enum(value);\n}"),
    ("link/SettingsDialog.cpp", "custom baud rate limit off by a factor",
     "constexpr int maxCustomBaudRate = 4000000;", "constexpr int maxCustomBaudRate = 40000000;"),
    # machine/
    ("machine/StreamWindow.cpp", "the receive buffer may be overfilled by a byte",
     "return lines.isEmpty() || bytesOutstanding + bytes <= bufferBytes;",
     "return lines.isEmpty() || bytesOutstanding + bytes <= bufferBytes + 1;"),
    ("machine/StreamWindow.h", "six lines outstanding",
     "static constexpr int maxOutstanding = 5;", "static constexpr int maxOutstanding = 6;"),
    ("program/ProgramLine.cpp", "'!' no longer counts as a realtime byte",
     "return unicode == '?' || unicode == '!' ||", "return unicode == '?' ||"),
    ("program/ProgramLine.cpp", "';' comments kept",
     "        } else if (c == QLatin1Char(';')) {\n            break;",
     "        } else if (c == QLatin1Char(';') && false) {\n            break;"),
    ("program/ProgramLine.cpp", "line length off by one",
     "if (characters > maxCharacters)", "if (characters > maxCharacters + 1)"),
    ("program/JobProgram.cpp", "'%' sent to the controller",
     "    if (ProgramLine::isDelimiter(kept))\n        kept.clear();", ""),
    ("program/JobProgram.cpp", "M6 no longer a tool change",
     "if (has(words, 'M', {6})) {", "if (has(words, 'M', {66})) {"),
    ("program/JobProgram.cpp", "nothing left out after M30",
     "        ended = true;\n", ""),
    ("machine/Job.cpp", "a refused line does not hold the job",
     "    current = State::Holding;\n    holdReason = Hold::Error;",
     "    holdReason = Hold::None;"),
    ("machine/Job.cpp", "finished before the machine stands",
     "    draining = answeredCount >= lines.size();",
     "    draining = answeredCount >= lines.size();\n    if (draining && current == State::Running)\n        end(State::Finished);"),
    ("machine/Job.cpp", "a reset after a refusal counts as stopped",
     "end(holdReason == Hold::Error ? State::Failed : State::Stopped);", "end(State::Stopped);"),
    ("machine/MachineSession.cpp", "no feed hold on a refused line",
     "    link.WriteRaw(QByteArray(1, feedHold));\n    emit lineSent(QString(QLatin1Char(feedHold)));", ""),
    ("machine/MachineSession.cpp", "typed lines not locked out during a job",
     "    return sendLine(line, isMotionLocked());", "    return sendLine(line, false);"),
    ("machine/MachineSession.cpp", "the queue survives a lost link",
     "void MachineSession::dropEverything()\n{\n    queue.clear();",
     "void MachineSession::dropEverything()\n{"),
    ("machine/MachineSession.cpp", "the work position derived with the wrong sign",
     "        work = shifted(*report.machine, -1);", "        work = shifted(*report.machine, 1);"),
    ("machine/MachineSession.cpp", "no jog cancel on release",
     "        sendRealtime(jogCancel);\n    else if", "        {}\n    else if"),
    ("machine/ProbeCycle.cpp", "no G90 after a probe",
     "    ending.lines << QStringLiteral(\"G90\");", ""),
    ("machine/ProbeCycle.cpp", "a probe without contact counts as contact",
     "    report.contact = flag == QLatin1String(\"1\");", "    report.contact = true;"),
    ("machine/StatusReport.cpp", "the work offset field not read",
     "} else if (name == QLatin1String(\"WCO\")) {", "} else if (name == QLatin1String(\"WCX\")) {"),
    ("machine/Dialect.cpp", "0.9 taken for 1.1",
     "    if (version.startsWith(QLatin1String(\"0.9\"))) {",
     "    if (version.startsWith(QLatin1String(\"0.8\"))) {"),
    ("machine/ControllerCodes.cpp", "error numbers read one off",
     "    {20, \"Unsupported command\"},", "    {21, \"Unsupported command\"},"),
    # app/
    ("app/JogCommands.h", "Z jogs faster than the cap",
     "constexpr int zFeedLimit = 500;", "constexpr int zFeedLimit = 5000;"),
    ("app/LedGeometry.cpp", "the lamp's highlight one pixel off",
     "int position = diameter / 5 + 1;", "int position = diameter / 5;"),
    ("app/MainWindow.cpp", "spindle caption changes although nothing was accepted",
     "    SendCommand(on ? QStringLiteral(\"M3\") : QStringLiteral(\"M5\"));\n}",
     "    SendCommand(on ? QStringLiteral(\"M3\") : QStringLiteral(\"M5\"));\n    spindleOn = on;\n"
     "    ui->pushButtonSpindle->setText(on ? tr(\"Spindle Off\") : tr(\"Spindle On\"));\n}"),
    ("app/MainWindow.cpp", "Send enabled during a job",
     "    ui->pushButtonSendGCode->setEnabled(idle || checking);",
     "    ui->pushButtonSendGCode->setEnabled(session.isIdle() || checking);"),
    ("app/TerminalPane.h", "the terminal keeps ten times the lines",
     "static constexpr int maxLines = 5000;", "static constexpr int maxLines = 50000;"),
    ("app/RecentFiles.cpp", "recent files not capped",
     "    paths = paths.mid(0, maxFiles);", ""),
    # editor/
    ("editor/HighlightSpans.cpp", "a comment's closing bracket not coloured",
     "spans.append({int(open), int(close - open + 1), HighlightRule::Comment});",
     "spans.append({int(open), int(close - open), HighlightRule::Comment});"),
    ("editor/ProgramFile.cpp", "a file too large is read anyway",
     "if (bytes.size() + textBytes > maxTextBytes)", "if (bytes.size() + textBytes > maxTextBytes * 8)"),
    # preview/
    ("program/MachineState.cpp", "inches read as millimetres",
     "const float unit = next.inches ? 25.4f : 1.0f;", "const float unit = 1.0f;"),
    ("preview/PathBuilder.cpp", "arcs in 20-degree steps",
     "double step = std::min(10.0, 360 / radius);", "double step = std::min(20.0, 360 / radius);"),
    ("preview/ViewControl.cpp", "zooming in goes further than the limit",
     "zoom = zoomed > maxZoom ? maxZoom : int(zoomed);", "zoom = int(zoomed);"),
    ("preview/OpenGLWidget.cpp", "the done part drawn in the path's own colours",
     "constexpr GLubyte doneGrey = 170;", "constexpr GLubyte doneGrey = 0;"),
    ("preview/MotionTimeline.cpp", "junctions taken at full speed",
     "    move.maxEntry = std::min({junctionSpeed(move), move.nominal, last.nominal});",
     "    move.maxEntry = std::min({move.nominal, last.nominal});"),
    # dialogs/
    ("dialogs/GamepadMapping.cpp", "the stick's dead band one off",
     "constexpr quint16 deadBandHigh = 33511;", "constexpr quint16 deadBandHigh = 33512;"),
    ("dialogs/GrblParameter.cpp", "a parameter number that wraps is taken",
     "if (!isNumber || index > 255)", "if (!isNumber || index > 511)"),
    ("dialogs/PlainNumber.cpp", "an exponent passes as a plain number",
     "QStringLiteral(\"\\\\A[ \\\\t]*[+-]?([0-9]+\\\\.?[0-9]*|\\\\.[0-9]+)[ \\\\t]*\\\\z\"));",
     "QStringLiteral(\"\\\\A[ \\\\t]*[+-]?([0-9]+\\\\.?[0-9eE]*|\\\\.[0-9]+)[ \\\\t]*\\\\z\"));"),
    ("dialogs/HelixProgram.cpp", "no infeed accepted",
     "if (!(inputs.infeed >= 0.01))", "if (!(inputs.infeed >= 0))"),
    ("dialogs/WindowsGamepad.cpp", "an unplugged gamepad keeps its held buttons",
     "        deviceId = -1;\n        releaseAll();", "        deviceId = -1;"),
    # sim/ and send/
    ("sim/Dialect.h", "0.9's receive buffer a byte larger",
     "std::size_t receiveBufferSize() const { return v11 ? 128 : 127; }",
     "std::size_t receiveBufferSize() const { return v11 ? 128 : 128; }"),
    ("send/TerminalSender.cpp", "a run with refused lines exits 0",
     "const bool clean = job.state() == Job::State::Finished && job.refusedLines() == 0;",
     "const bool clean = job.state() == Job::State::Finished;"),
]

FRESH_19 = [
    # program/
    ("program/ModalState.cpp", "a feed given in inches kept as millimetres",
     "feed = word.value * (inches ? mmPerInch : 1);", "feed = word.value;"),
    ("program/ModalState.cpp", "modes put back after a jog in the other units",
     "        words << (inches ? QStringLiteral(\"G20\") : QStringLiteral(\"G21\"));",
     "        words << (inches ? QStringLiteral(\"G21\") : QStringLiteral(\"G20\"));"),
    ("program/ModalState.cpp", "an arc's motion mode put back without its axis words",
     "    if (motion == 0 || (motion == 10 && feedKnown))\n",
     "    if (motion == 0 || ((motion == 10 || motion == 20 || motion == 30) && feedKnown))\n"),
    ("program/ModalState.cpp", "flood coolant not put back after a tool change",
     "    if (flood)\n        words << QStringLiteral(\"M8\");\n", ""),
    # machine/
    ("machine/ExecutionTracker.cpp", "one Idle report finishes every line taken in",
     "if (atEnd || restReports >= 2)", "if (atEnd || restReports >= 1)"),
    ("machine/ExecutionTracker.cpp", "the line being cut counted as finished",
     "pending.erase(pending.begin(), pending.begin() + long(k));",
     "pending.erase(pending.begin(), pending.begin() + long(k) + 1);"),
    ("machine/ExecutionTracker.cpp", "arcs followed the wrong way round",
     "step.clockwise = move.motion == LineWords::Clockwise;",
     "step.clockwise = move.motion == LineWords::CounterClockwise;"),
    ("machine/Job.cpp", "the program's pause still stops the feeding once answered",
     "    if (index == pauseSent)\n        pauseSent = -1;\n    finishIfDone();",
     "    finishIfDone();"),
    ("machine/Job.cpp", "progress counts lines taken in, not lines cut",
     "int(qint64(done()) * 100 / lines.size())", "int(qint64(confirmedCount) * 100 / lines.size())"),
    ("machine/MachineSession.cpp", "the usual modes not set when the operator chose them",
     "    enqueue(usual.startWords().toLatin1(), CommandTag);\n", ""),
    ("machine/MachineSession.cpp", "a 0.9 step jog leaves the controller in G91",
     "    enqueue(before.restoreWords(after).toLatin1(), RestoreTag);\n", ""),
    ("machine/MachineSession.cpp", "a probe on a controller left in inches runs in inches",
     "    const QString relative = relativeLine(before);\n    ModalState during = before;\n",
     "    const QString relative = lines.at(0);\n    ModalState during = before;\n"),
    ("machine/MachineSession.cpp", "a reset does not tell of the G92 offset it cleared",
     "    offsetLost();\n    if (alarmHintOwed) {", "    if (alarmHintOwed) {"),
    ("machine/MachineSession.cpp", "0.9 jog speed from acceleration taken per minute squared",
     "acceleration[at] * jog09StopSeconds * 60}", "acceleration[at] * jog09StopSeconds * 3600}"),
    ("machine/SafeStop.cpp", "a hold still slowing down taken for one at rest",
     "report.subState == QLatin1String(\"0\")", "report.subState == QLatin1String(\"1\")"),
    # app/, editor/
    ("app/MainWindow.cpp", "spindle caption says off while it turns counter-clockwise",
     "    spindleOn = modes.spindle != 5;", "    spindleOn = modes.spindle == 3;"),
    ("app/MainWindow.cpp", "Send in the controller's check mode does nothing",
     "    checkRun = session.state() == QLatin1String(\"Check\");", "    checkRun = false;"),
    ("app/MainWindow.cpp", "the coolant button asks for mist",
     "SendCommand(coolantOn ? QStringLiteral(\"M9\") : QStringLiteral(\"M8\"));",
     "SendCommand(coolantOn ? QStringLiteral(\"M9\") : QStringLiteral(\"M7\"));"),
    ("app/MainWindow.cpp", "flood coolant shown as off",
     "    coolantOn = modes.flood || modes.mist;", "    coolantOn = modes.mist;"),
    ("app/MainWindow.cpp", "closing during a probe leaves it running",
     "    if (session.probeCycle().isActive())\n        return tr(\"A probe is running on the machine\");\n",
     ""),
    ("app/MainWindow.cpp", "the program may be edited while its job is held",
     "setReadOnly(job.isActive());", "setReadOnly(job.state() == Job::State::Running);"),
    ("editor/CodeEditor.cpp", "a file dropped during a job is turned away without a word",
     "        emit dropRefused(path);\n        return;", "        return;"),
    # send/
    ("send/TerminalSender.cpp", "Enter at the modes question runs the program as it is",
     "session.chooseStart(read > 0 ? MachineSession::StartChoice::UsualState",
     "session.chooseStart(read > 0 ? MachineSession::StartChoice::AsItIs"),
    ("send/TerminalSender.cpp", "a refused line holds the machine and nothing resets it",
     "reset once the machine stands\n        safeStop.start();", "reset once the machine stands"),
    ("send/main.cpp", "a hangup ends orlo-send without stopping the machine",
     "{SIGINT, SIGHUP, SIGTERM, SIGQUIT}", "{SIGINT, SIGTERM, SIGQUIT}"),
    # link/
    ("link/TerminalCommunication.cpp", "an error of the last connection silences the same error now",
     "    lastError = QSerialPort::NoError;\n", ""),
    # sim/
    ("sim/Controller.cpp", "M0 answered before cycle start",
     "        if (motion.holding())\n            return false;\n    }", "    }"),
    ("sim/Controller.cpp", "the parser state always names G54",
     "std::to_string(54 + parser.system)", "std::to_string(54)"),
    ("sim/GcodeParser.cpp", "program end keeps the work system selected",
     "        next.system = 0;\n", ""),
]

# Over the execution tracker, the modal state, the safe stop and the start choice.
FRESH_20 = [
    # machine/
    ("machine/Job.cpp", "an alarm names the last finished line, not the one being cut",
     "    failedLine = runningLine();", "    failedLine = finishedLine();"),
    ("machine/Job.cpp", "a refusal the operator went on from is named as why a reset stopped the job",
     "    if (isActive() && holdReason != Hold::Error)\n        failure.clear();", ""),
    ("machine/MachineSession.cpp", "a Hold report never turns the program's M0 into a pause",
     "        if (machineState == QLatin1String(\"Hold\"))\n            job.controllerHeld();\n", ""),
    ("machine/MachineSession.cpp", "a refused line's modes are taken as in force",
     "    if (ok)\n        followAccepted(line);", "    followAccepted(line);"),
    ("machine/MachineSession.cpp", "a safe stop's hold does not stop the feeding",
     "while (isConnected() && !feedingHeld) {", "while (isConnected()) {"),
    ("machine/MachineSession.cpp", "a probe cut off by a lost link leaves its relative mode unrestored",
     "        restoreOwed = probeRestore;\n", ""),
    ("machine/MachineSession.cpp", "a reconnect without a banner does not ask whether the G92 offset survived",
     "    if (linkWasUp && offsetAxes)\n        enqueue(QByteArrayLiteral(\"$#\"), CommandTag);\n", ""),
    ("machine/MachineSession.cpp", "a 1.1 step jog in inches goes 25.4 times as far",
     "        if (before.inches)\n            line.insert(3, QStringLiteral(\"G21 \"));\n", ""),
    ("machine/MachineSession.cpp", "a 0.9 continuous jog keeps a minute's worth, not seconds, of motion ahead",
     "while (ahead + step <= speed / 60 * jog09AheadSeconds + 1e-9) {",
     "while (ahead + step <= speed * jog09AheadSeconds + 1e-9) {"),
    ("machine/MachineSession.cpp", "the homing hint given when homing is off, and not when on",
     "    if (homingEnabled.value_or(false))\n        hint +=", "    if (!homingEnabled.value_or(false))\n        hint +="),
    ("machine/ExecutionTracker.cpp", "lines past a probe are passed without the machine at rest",
     "        if (pending[k].kind == Step::Unknown)\n            break;\n", ""),
    ("machine/ExecutionTracker.cpp", "a straight line taken as endless beyond its ends",
     "std::clamp(along / lengthSquared, 0.0, 1.0)", "along / lengthSquared"),
    ("machine/ExecutionTracker.cpp", "an Idle report from before a new line counts toward its end",
     "    nextEntry = entry + 1;\n    restReports = 0;\n", "    nextEntry = entry + 1;\n"),
    ("machine/ExecutionTracker.cpp", "a G43.1 tool length offset not seen as a shift of coordinates",
     "shifts = shifts || g == 431 || g == 490;", "shifts = shifts || g == 490;"),
    ("machine/SafeStop.cpp", "at rest without comparing the position: a decelerating 0.9 Hold is reset",
     "const bool unmoved = position && heldAt && position->value == *heldAt;",
     "const bool unmoved = position && heldAt;"),
    ("machine/SafeStop.cpp", "a machine that never comes to rest is never reset",
     "    poll.start();\n    deadline.start();\n", "    poll.start();\n"),
    # program/
    ("program/ModalState.cpp", "program end leaves the distance mode incremental",
     "        incremental = false;\n", ""),
    ("program/ModalState.cpp", "G1 put back after a jog though no feed is known",
     "          << motionWord(motion, feed > 0 && !inverseTime);",
     "          << motionWord(motion, !inverseTime);"),
    ("program/ModalState.cpp", "another plane is not told before a start",
     "    if (plane != expected.plane)\n        differences <<", "    if (false)\n        differences <<"),
    ("program/JobProgram.cpp", "a CR before the LF counts as an editor line of its own",
     "        if (c == QLatin1Char('\\n'))\n            ++line;", "        ++line;"),
    # send/
    ("send/TerminalSender.cpp", "a second Ctrl-C still waits for the machine to stand",
     "        safeStop.resetNow();\n        return;", "        return;"),
    ("send/TerminalSender.cpp", "the progress names the last finished line, not the one being cut",
     "progressText(operatorLine(job.runningLine()), operatorLine(lastLine)", "progressText(operatorLine(job.finishedLine()), operatorLine(lastLine)"),
    ("send/TerminalSender.cpp", "no operator on stdin starts the program in the usual modes",
     "session.chooseStart(read > 0 ? MachineSession::StartChoice::UsualState",
     "session.chooseStart(read >= 0 ? MachineSession::StartChoice::UsualState"),
    # app/
    ("app/MainWindow.cpp", "the preview shows the line being cut as done",
     "setDonePoints(FirstPointOfLine(job.finishedLine()))",
     "setDonePoints(FirstPointOfLine(job.runningLine()))"),
    ("app/MainWindow.cpp", "a file opened from the menu replaces the running program",
     "    if (session.currentJob().isActive())\n        return RefuseOpening(path);\n", ""),
    ("app/MainWindow.cpp", "a 1.1 report without Ov shows spindle and coolant off",
     "!session.dialect().speaks11() || !report.overrides)", "!session.dialect().speaks11())"),
    ("app/MainWindow.cpp", "a program started as it is keeps a preview in the usual modes",
     "ReadProgramIn(session.controllerModes().reading());",
     "ReadProgramIn(MachineState());"),
    # sim/
    ("sim/Controller.cpp", "1.1 sends WCO and Ov in the same report",
     "        reportsToOverrides = std::max(reportsToOverrides, 1);\n", ""),
    ("sim/Controller.cpp", "1.1 does not report a spindle or coolant change at once",
     "if (overridesChanged || accessories != reportedAccessories)", "if (overridesChanged)"),
    ("sim/Controller.cpp", "a board that restarts keeps its position",
     "    motion.setPosition(Vec3{});\n", ""),
    ("sim/GcodeParser.cpp", "program end keeps inverse time",
     "        next.inverseTime = false;\n", ""),
]

# Over the start from a line and the resume of a job cut short.
FRESH_21 = [
    # program/
    ("program/StartFromLine.cpp", "the line asked for is read as one of the lines before it",
     "if (editorLine >= line && !job.bytes(index).isEmpty())",
     "if (editorLine > line && !job.bytes(index).isEmpty())"),
    ("program/StartFromLine.cpp", "no dwell for the spindle to come up to speed",
     "        if (settings.dwellSeconds > 0)\n            lines << QStringLiteral(\"G4 P%1\")",
     "        if (settings.dwellSeconds < 0)\n            lines << QStringLiteral(\"G4 P%1\")"),
    ("program/StartFromLine.cpp", "the spindle started without its S",
     "QStringLiteral(\"M%1 S%2\").arg(modes.spindle).arg(number(modes.speed, false))",
     "QStringLiteral(\"M%1\").arg(modes.spindle)"),
    ("program/StartFromLine.cpp", "flood coolant left out of the way in",
     "    if (modes.flood)\n        lines << QStringLiteral(\"M8\");\n", ""),
    ("program/StartFromLine.cpp", "the plunge goes down at a rapid",
     "QStringLiteral(\"G1 Z%1 F%2\")", "QStringLiteral(\"G0 Z%1 F%2\")"),
    ("program/StartFromLine.cpp", "the plunge is never made",
     "    if (start.axisSet[2] && start.position[2] < start.safeZ)",
     "    if (start.axisSet[2] && start.position[2] > start.safeZ)"),
    ("program/StartFromLine.cpp", "X and Y of the way over left in millimetres in an inch program",
     "number(start.position[axis], inches)", "number(start.position[axis], false)"),
    ("program/StartFromLine.cpp", "the safe height is the clearance alone, below a higher Z reached before",
     "start.safeZ = std::max(settings.clearance, reading.highestZ);",
     "start.safeZ = settings.clearance;"),
    ("program/StartFromLine.cpp", "a bare counter-clockwise arc gets no G3 before it",
     "bareAxes && (motion == 20 || motion == 30)", "bareAxes && motion == 20"),
    ("program/StartFromLine.cpp", "the last tool change is not put in the way in",
     "            start.toolChangeLine = editorLine;\n", ""),
    ("program/StartFromLine.cpp", "G28, G30, G53 and G92 do not lose the position: no refusal after them",
     "words.motion == LineWords::Probe || (words.special && !words.toolLength);",
     "words.motion == LineWords::Probe;"),
    ("program/StartFromLine.cpp", "the program's distance mode, motion mode and feed are not put back",
     "    lines << modes.restoreWords(during);\n", ""),
    ("program/StartFromLine.cpp", "the plunge feed taken from a move up",
     "           move.end[2] < move.start[2];", "           move.end[2] > move.start[2];"),
    ("program/StartFromLine.cpp", "the way in always selects G54",
     "                          .arg(modes.system)};", "                          .arg(54)};"),
    ("program/JobProgram.cpp", "the line asked for is skipped with those before it",
     "if (from && line < from->line) {", "if (from && line <= from->line) {"),
    ("program/JobProgram.cpp", "the way in counted as the line before the start",
     "program.add(wayIn, line);", "program.add(wayIn, line - 1);"),
    ("program/JobProgram.cpp", "the arc prefix put on every line after the start",
     "program.add(std::exchange(prefix, QString()) + piece.toString(), line);",
     "program.add(prefix + piece.toString(), line);"),
    ("program/JobProgram.cpp", "lines before the start are not followed for their modes and tool",
     "    if (ProgramLine::check(kept).fault == ProgramLine::Fault::None)\n        follow(kept);\n",
     ""),
    ("program/ModalState.cpp", "a G43.1 in inches kept as millimetres",
     "toolLength = word.value * (inches ? mmPerInch : 1);", "toolLength = word.value;"),
    ("program/LineWords.cpp", "G43.1's Z word read as a move",
     "line.special = line.toolLength = 1;", "line.toolLength = 1;"),
    # machine/
    ("machine/MachineSession.cpp", "a start from a line goes on without a work offset",
     "if (startFrom && !hasWorkOffset())", "if (startFrom && !offset)"),
    ("machine/MachineSession.cpp", "a work offset counts only when every axis has one",
     "return offset && std::any_of(", "return offset && std::all_of("),
    ("machine/MachineSession.cpp", "a start from a line waits for a choice on the controller's modes",
     "QStringList differences = startFrom ? QStringList() : modes.differencesFrom(ModalState{});",
     "QStringList differences = modes.differencesFrom(ModalState{});"),
    ("machine/MachineSession.cpp", "the job begins from the top, the start from a line dropped",
     "JobProgram::read(startText, start, startFrom ? &*startFrom : nullptr)",
     "JobProgram::read(startText, start, nullptr)"),
    # send/
    ("send/main.cpp", "--from-line 0 accepted",
     "(!fromIsNumber || from < 1)", "(!fromIsNumber || from < 0)"),
    ("send/TerminalSender.cpp", "the line to go on from is the last finished one",
     "int rest = operatorLine(job.runningLine());", "int rest = operatorLine(job.finishedLine());"),
    ("send/TerminalSender.cpp", "a cancelled start does not finish the run",
     "job.state() == Job::State::Idle && !session.isStarting()",
     "job.state() == Job::State::Idle && session.isStarting()"),
    ("send/TerminalSender.cpp", "a check run cut short names a line to go on from",
     "if (job.state() == Job::State::Finished || options.check)",
     "if (job.state() == Job::State::Finished)"),
    # app/
    ("app/MainWindow.cpp", "Resume offers the last finished line",
     "!checkRun\n                     ? OperatorLine(job.runningLine())",
     "!checkRun\n                     ? OperatorLine(job.finishedLine())"),
    ("app/MainWindow.cpp", "Resume offered after a finished job",
     "job.isOver() && job.state() != Job::State::Finished && !checkRun",
     "job.isOver() && !checkRun"),
    ("app/MainWindow.cpp", "Resume offered after a check run",
     "job.state() != Job::State::Finished && !checkRun", "job.state() != Job::State::Finished"),
    ("app/MainWindow.cpp", "an alarm is not named as the reason for the refusal",
     "session.state() == QLatin1String(\"Alarm\")", "session.state() == QLatin1String(\"ALARM\")"),
    ("app/MainWindow.cpp", "the preview greys the start line too",
     "pathReader.firstPointOfLine(start.line - 1)", "pathReader.firstPointOfLine(start.line)"),
    # dialogs/
    ("dialogs/StartFromLineDialog.cpp", "Start enabled for a line refused for a lost position",
     "ui->pushButtonStart->setEnabled(start.refusal.isEmpty());",
     "ui->pushButtonStart->setEnabled(start.line > 0);"),
    ("dialogs/StartFromLineDialog.cpp", "a negative stored setting taken as it is",
     "isNumber && value >= 0 && value <= most ? value : fallback",
     "isNumber && value <= most ? value : fallback"),
    ("dialogs/StartFromLineDialog.cpp", "the clearance stored as the dwell",
     "store.setValue(QStringLiteral(\"Dwell\"), settings.dwellSeconds);",
     "store.setValue(QStringLiteral(\"Dwell\"), settings.clearance);"),
    # editor/
    ("editor/CodeEditor.cpp", "Start from here enabled only while read-only",
     "start->setEnabled(!isReadOnly());", "start->setEnabled(isReadOnly());"),
    ("editor/CodeEditor.cpp", "Start from here takes the caret's line, not the one clicked",
     "const int line = cursorForPosition(event->pos()).blockNumber() + 1;",
     "const int line = textCursor().blockNumber() + 1;"),
    # preview/
    ("preview/OpenGLWidget.cpp", "the way in drawn as separate segments, every other one missing",
     "glBegin(GL_LINE_STRIP);", "glBegin(GL_LINES);"),
    # sim/
    ("sim/Motion.cpp", "a segment cut short logged to its planned end",
     "traced(blocks.front().note, start, reached);",
     "traced(blocks.front().note, start, blocks.front().target);"),
    ("sim/Controller.cpp", "the motion log's work offset without G92 and the tool length",
     "\" WCO \" + triple(parser.workOffset())", "\" WCO \" + triple(parser.systems[parser.system])"),
]

FRESH_22 = [
    # program/HeightMap.cpp
    ("program/HeightMap.cpp",
     "the probe no longer zig-zags: every row is probed left to right, so each row starts with a long move back, and the heights of every other row land mirrored in the map",
     "order << QPointF(xs[row % 2 ? columns - 1 - k : k], ys[row]);",
     "order << QPointF(xs[k], ys[row]);"),
    ("program/HeightMap.cpp",
     "a grid area with no depth (or Y from above Y to) is accepted: the depth check tests the width twice",
     "if (x1 - x0 < sameAt * 10 || y1 - y0 < sameAt * 10)",
     "if (x1 - x0 < sameAt * 10 || x1 - x0 < sameAt * 10)"),
    ("program/HeightMap.cpp",
     "a map file line with four or more fields (\"1,2,3,4\") is read as a point instead of being refused",
     "bool ok = fields.size() == 3;",
     "bool ok = fields.size() >= 3;"),
    ("program/HeightMap.cpp",
     "a map file with a hole in its grid loads anyway: the missing points become height 0 instead of the file being refused",
     "            const auto found = byPlace.constFind(qMakePair(key(x), key(y)));\n"
     "            if (found == byPlace.constEnd())\n"
     "                return QStringLiteral(\"no point at %1\").arg(pointName(x, y));\n"
     "            heights << *found;\n",
     "            heights << byPlace.value(qMakePair(key(x), key(y)));\n"),
    ("program/HeightMap.cpp",
     "beyond the map's front or back edge the height keeps following the slope of the last row of cells instead of staying at the edge's height",
     "const double v = std::clamp((py - ys[r]) / (ys[r + 1] - ys[r]), 0.0, 1.0);",
     "const double v = (py - ys[r]) / (ys[r + 1] - ys[r]);"),
    ("program/HeightMap.cpp",
     "between probes the height is wrong: the upper row of each cell is interpolated back to front in X",
     "const double over = height(c, r + 1) * (1 - u) + height(c + 1, r + 1) * u;",
     "const double over = height(c, r + 1) * u + height(c + 1, r + 1) * (1 - u);"),
    ("program/HeightMap.cpp",
     "the map's spacing ignores the rows: with rows farther apart than columns, levelled moves are cut into pieces longer than the row spacing",
     "for (const QVector<double> *at : {&xs, &ys}) {",
     "for (const QVector<double> *at : {&xs, &xs}) {"),
    ("program/HeightMap.cpp",
     "a saved map file has X and Y swapped on every line: loaded again, the map is transposed",
     ".arg(ModalState::plainNumber(xs[column]), ModalState::plainNumber(ys[row]),",
     ".arg(ModalState::plainNumber(ys[row]), ModalState::plainNumber(xs[column]),"),

    # program/ArcSegments.cpp
    ("program/ArcSegments.cpp",
     "a full clockwise circle (end point equal to start) is cut as nothing: the levelled program just stays where it is",
     "if (arc.motion == LineWords::Clockwise && sweep >= -5e-7)",
     "if (arc.motion == LineWords::Clockwise && sweep > 5e-7)"),
    ("program/ArcSegments.cpp",
     "a helical arc's Z does not move along the segments: all the plunge happens on the last segment",
     "start[2] + (last[2] - start[2]) * k / segments};",
     "start[2]};"),
    ("program/ArcSegments.cpp",
     "arc segments swing to the wrong side in Y: the levelled arc is mirrored about its start",
     "start[1] + j + sx * std::sin(angle) + sy * std::cos(angle),",
     "start[1] + j - sx * std::sin(angle) + sy * std::cos(angle),"),

    # program/LevelledProgram.cpp
    ("program/LevelledProgram.cpp",
     "with CR LF line ends every line counts twice: refusals, warnings and line mapping name line numbers about double the real ones",
     "line += lineBegins;",
     "++line;"),
    ("program/LevelledProgram.cpp",
     "a line of the levelled program maps to the operator's line of the next levelled line: errors and progress name the wrong line (0 for the last)",
     "return sourceLine.value(std::min(line, int(sourceLine.size())) - 1);",
     "return sourceLine.value(std::min(line, int(sourceLine.size())));"),

    # program/LineLeveller.cpp
    ("program/LineLeveller.cpp",
     "feed moves are cut into too few pieces: pieces come out longer than the map's spacing (rounded down instead of up)",
     "const double pieces = std::max(1.0, std::ceil(length / spacing));",
     "const double pieces = std::max(1.0, std::floor(length / spacing));"),
    ("program/LineLeveller.cpp",
     "the map's height is subtracted instead of added: the cut goes deeper where the stock is high and shallower where it is low",
     "at[2] += map.at(at[0], at[1]);",
     "at[2] -= map.at(at[0], at[1]);"),
    ("program/LineLeveller.cpp",
     "rapids are not raised above the surface's highest point: a G0 at a low Z can crash into a high spot",
     "const double at[3] = {move.end[0], move.end[1], move.end[2] + lift};",
     "const double at[3] = {move.end[0], move.end[1], move.end[2]};"),
    ("program/LineLeveller.cpp",
     "a rapid without a Z word after a levelled feed move keeps the last levelled Z instead of going back to the lifted height: it travels at the cut's depth",
     "if (known[2] && (words.has(LineWords::Z) || !zWritten || writtenZ != at[2]))",
     "if (known[2] && (words.has(LineWords::Z) || !zWritten))"),
    ("program/LineLeveller.cpp",
     "every move that strays even a hair off the map is warned about, instead of only those that leave it by more than a spacing",
     "if (farthestOut > spacing && roomToWarn())",
     "if (farthestOut > 0 && roomToWarn())"),
    ("program/LineLeveller.cpp",
     "a feed move before the program has set Z is levelled from an assumed Z 0 instead of being refused",
     "return known[0] && known[1] && known[2];",
     "return known[0] && known[1];"),
    ("program/LineLeveller.cpp",
     "an arc with G18/G19 on its own line is not refused (and a G17 arc after G18 is refused): the plane word of the line itself is ignored",
     "const int arcPlane = words.plane != LineWords::PlaneUnsaid ? words.plane : plane;",
     "const int arcPlane = plane;"),
    ("program/LineLeveller.cpp",
     "in an inch program levelled moves are written in millimetre numbers: coordinates come out 25.4 times too large",
     "qRound64(inches ? millimetres / mmPerInch * 1e4 : millimetres * 1e3)",
     "qRound64(inches ? millimetres * 1e4 : millimetres * 1e3)"),
    ("program/LineLeveller.cpp",
     "a \"G90 G1 ...\" line after G91 loses its G90: the absolute levelled coordinates are run as incremental ones",
     "if (firstMove && incrementalBefore)",
     "if (firstMove && machine.incremental)"),
    ("program/LineLeveller.cpp",
     "an M30 on a levelled feed line goes with its first piece: the program ends after the first piece of that move",
     "return code == 0 || code == 1 || code == 2 || code == 30;",
     "return code == 0 || code == 1 || code == 2;"),

    # machine/GridProbe.cpp
    ("machine/GridProbe.cpp",
     "the second, slow touch goes at the full probe feed instead of a quarter of it",
     "touchLine(probing.feed / 4)};",
     "touchLine(probing.feed)};"),
    ("machine/GridProbe.cpp",
     "before the slow touch the probe backs up all the way to the travel height instead of 1 mm above the first touch",
     "plain(std::min(z + slowRetract, probing.travelZ))",
     "plain(std::max(z + slowRetract, probing.travelZ))"),
    ("machine/GridProbe.cpp",
     "the heights of every other row (probed right to left) are stored left to right: those rows of the map come out mirrored",
     "heights[row * columns + (row % 2 ? columns - 1 - along : along)] = z;",
     "heights[row * columns + along] = z;"),
    ("machine/GridProbe.cpp",
     "the probe goes to each point with X and Y swapped",
     "QStringLiteral(\"G0 X%1 Y%2\").arg(plain(at.x()), plain(at.y()))",
     "QStringLiteral(\"G0 X%1 Y%2\").arg(plain(at.y()), plain(at.x()))"),
    ("machine/GridProbe.cpp",
     "the work offset is added to the touch's machine Z instead of subtracted: every height is off by twice the work offset",
     "touched = report->position[2] - offset;",
     "touched = report->position[2] + offset;"),
    ("machine/GridProbe.cpp",
     "a probe report without contact ([PRB:...:0]) is taken as a touch: the probe's end of travel becomes a height instead of the run stopping",
     "    if (!report->contact)\n        return fail(QStringLiteral(\"no contact\"));\n",
     ""),
    ("machine/GridProbe.cpp",
     "a map cut short and kept as whole rows is stretched: its last row is placed too far back in Y",
     "probed.y1 = grid.y0 + (grid.y1 - grid.y0) * (rows - 1) / (grid.rows - 1);",
     "probed.y1 = grid.y0 + (grid.y1 - grid.y0) * rows / grid.rows;"),
    ("machine/GridProbe.cpp",
     "a probe run cut short names the point before the one that failed (\"at point 0\" for the first)",
     ".arg(point + 1)",
     ".arg(point)"),

    # machine/MachineSession.cpp
    ("machine/MachineSession.cpp",
     "a grid probe on a controller left in inches switches it to inches again (G20) instead of millimetres: travel, depth and feed are read as inches",
     "words += QStringLiteral(\" G21\");",
     "words += QStringLiteral(\" G20\");"),
    ("machine/MachineSession.cpp",
     "the grid probe checks X's work zero instead of Z's: it starts without a work zero on Z, and is refused when X's offset is 0",
     "if (offset->value[2] == 0)",
     "if (offset->value[0] == 0)"),

    # dialogs/
    ("dialogs/HeightMapDialog.cpp",
     "\"the program's area, with a margin\" shrinks the area at the front instead of widening it",
     "ui->doubleSpinBoxMapY0->setValue(extent->top() - margin);",
     "ui->doubleSpinBoxMapY0->setValue(extent->top() + margin);"),
    ("dialogs/HeightMapDialog.cpp",
     "the question whether to keep the rows probed of a run cut short defaults to Yes: Enter keeps a partial map",
     "box->setDefaultButton(QMessageBox::No);",
     "box->setDefaultButton(QMessageBox::Yes);"),
    ("dialogs/HeightMapDialog.cpp",
     "with no stored settings the second, slow touch starts ticked",
     "ui->checkBoxMapSlowTouch->setChecked(store.value(ui->checkBoxMapSlowTouch->objectName()) ==\n"
     "                                         QLatin1String(\"true\"));",
     "ui->checkBoxMapSlowTouch->setChecked(store.value(ui->checkBoxMapSlowTouch->objectName()) !=\n"
     "                                         QLatin1String(\"false\"));"),
    ("dialogs/HeightMapDialog.ui",
     "the columns field goes down to 1, which no grid can be probed with",
     "<widget class=\"QSpinBox\" name=\"spinBoxMapColumns\">\n"
     "       <property name=\"minimum\">\n"
     "        <number>2</number>",
     "<widget class=\"QSpinBox\" name=\"spinBoxMapColumns\">\n"
     "       <property name=\"minimum\">\n"
     "        <number>1</number>"),

    # sim/
    ("sim/WorkSurface.cpp",
     "the virtual stock's tilt is turned a quarter: the X slope rises along Y and the Y slope along X",
     "double height = z0 + slopeX * x + slopeY * y;",
     "double height = z0 + slopeX * y + slopeY * x;"),
    ("sim/WorkSurface.cpp",
     "the virtual stock's bump is a ring: nothing at its centre, full height at its rim",
     "height += bump * (1 + std::cos(M_PI * distance / radius)) / 2;",
     "height += bump * (1 - std::cos(M_PI * distance / radius)) / 2;"),
    ("sim/SimConfig.cpp",
     "--surface after --probe-surface (or twice) is accepted instead of refused, the last one silently winning",
     "} else if (name == \"--surface\" && !surfaceGiven && config.surface.parse(value)) {",
     "} else if (name == \"--surface\" && config.surface.parse(value)) {"),

    # send/
    ("send/main.cpp",
     "a --height-map file is read only up to its first NUL byte: a damaged file can load as a smaller map instead of being refused",
     "HeightMap::read(QString::fromUtf8(bytes.constData(), bytes.size()))",
     "HeightMap::read(QString::fromUtf8(bytes.constData()))"),
    ("send/TerminalSender.cpp",
     "with --height-map the sender says the program was levelled but sends it as written",
     "    program = levelled.text;\n",
     ""),

    # preview/
    ("preview/OpenGLWidget.cpp",
     "a new or cleared height map does not show in the preview until something else redraws the scene",
     "    surface = map;\n    updateGL();\n",
     "    surface = map;\n    update();\n"),

    # app/
    ("app/MainWindow.cpp",
     "a new height map does not level the program again: the preview and Send keep the program levelled by the old map (or none)",
     "    keptMap = map;\n    LevelProgram();\n",
     "    keptMap = map;\n"),
]

FRESH_23 = [
    # app/KeyboardJog.cpp
    ("app/KeyboardJog.cpp",
     "a short tap of an arrow key on Grbl 1.1 continuous jog never stops: the real release is ignored and only the keyboard's repeats count as releases",
     "        if (release && !key->isAutoRepeat()) {",
     "        if (release && key->isAutoRepeat()) {"),
    ("app/KeyboardJog.cpp",
     "clicking into the terminal or another field of the window with an arrow key held keeps the machine jogging; only leaving the window entirely lets go",
     "        if (!heldKeys.isEmpty() && !jogsHere(now))",
     "        if (!heldKeys.isEmpty() && !now)"),
    ("app/KeyboardJog.cpp",
     "Shift+arrow (selecting, or a shortcut) jogs the machine as a plain arrow does",
     "key->modifiers() & ~Qt::KeypadModifier ||",
     "key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier) ||"),
    ("app/KeyboardJog.cpp",
     "arrow keys in the jogging dock's feed rate or custom step box jog the machine instead of changing the value",
     "    return qobject_cast<const QLineEdit *>(widget) ||\n           qobject_cast<const QAbstractSpinBox *>(widget) ||",
     "    return qobject_cast<const QLineEdit *>(widget) ||"),
    ("app/KeyboardJog.cpp",
     "with two arrow keys held the machine jogs along the one pressed first, not the one pressed last",
     "    return buttonFor(heldKeys.last());",
     "    return buttonFor(heldKeys.first());"),
    # app/MainWindow.cpp (keyboard jogging)
    ("app/MainWindow.cpp",
     "arrow keys do nothing while the preview has the focus; only the jogging dock jogs",
     "    keyboardJog.addSurface(ui->dockWidgetJogging);\n    keyboardJog.addSurface(ui->GLWidget);",
     "    keyboardJog.addSurface(ui->dockWidgetJogging);"),
    ("app/MainWindow.cpp",
     "releasing a held arrow key does not stop a continuous jog at once: the jog cancel waits for the next jog timer tick",
     "    connect(&keyboardJog, &KeyboardJog::released, this, &MainWindow::UpdateContinuousJog);\n",
     ""),
    # machine/MachineSession.cpp (macros)
    ("machine/MachineSession.cpp",
     "a second macro button pressed while another macro runs starts it too, its lines interleaved with the first's",
     "    if (macroRun.isActive())\n        refused = ",
     "    if (macroRun.isActive() && macroRun.name() == macro.name)\n        refused = "),
    ("machine/MachineSession.cpp",
     "a macro line the controller refuses is only reported: the macro goes on and sends the lines after it",
     "    if (!ok)\n        endMacro(QStringLiteral(\"the controller refused %1: %2\")\n                     .arg(QString::fromLatin1(line), ControllerCodes::readable(reply)));\n    else if (macroRun.advance())",
     "    if (!ok)\n        emit notice(QStringLiteral(\"the controller refused %1: %2\")\n                        .arg(QString::fromLatin1(line), ControllerCodes::readable(reply)));\n    if (macroRun.advance())"),
    ("machine/MachineSession.cpp",
     "an alarm does not stop a running macro: it is not said to have stopped and its next line is still sent",
     "    cancelStart(readable);\n    endMacro(readable);",
     "    cancelStart(readable);"),
    ("machine/MachineSession.cpp",
     "after a lost link the macro that was running is still taken as running: no macro can be run again after reconnecting",
     "    cancelStart(QStringLiteral(\"link lost\"));\n    endMacro(QStringLiteral(\"link lost\"));",
     "    cancelStart(QStringLiteral(\"link lost\"));"),
    # app/MacrosDock.cpp
    ("app/MacrosDock.cpp",
     "editing the first macro and pressing OK adds a copy at the end instead of changing it",
     "        if (editing >= 0 && editing < list.size())",
     "        if (editing > 0 && editing < list.size())"),
    ("app/MacrosDock.cpp",
     "Enter in the 'Remove the macro?' question removes the macro",
     "        box->setDefaultButton(QMessageBox::No);",
     "        box->setDefaultButton(QMessageBox::Yes);"),
    # machine/WorkOffsets.cpp
    ("machine/WorkOffsets.cpp",
     "zeroing into the active system writes the zero into the system before it (in G55 the G54 origin is changed)",
     "QStringLiteral(\"G10 L20 P%1\").arg(system - 53)",
     "QStringLiteral(\"G10 L20 P%1\").arg(system - 54)"),
    ("machine/WorkOffsets.cpp",
     "zeroing one axis into the system with a G92 offset in force and the controller in inches re-sets the other axes 25.4*25.4 times too far",
     "ModalState::plainNumber(work[size_t(axis)] / (inches ? mmPerInch : 1))",
     "ModalState::plainNumber(work[size_t(axis)] * (inches ? mmPerInch : 1))"),
    ("machine/WorkOffsets.cpp",
     "zeroing into the system while a G92 offset is in force does not clear G92 first: the zero written into the system is off by the G92 offset once a reset clears it",
     "    QStringList lines{QStringLiteral(\"G92.1\"), zero};",
     "    QStringList lines{zero};"),
    # machine/MachineSession.cpp (work systems)
    ("machine/MachineSession.cpp",
     "zeroing into the system with a G92 offset in force goes out while the machine moves, re-setting the other axes from a stale work position",
     "    if (workSystems.hasG92() && (!isIdle() || !work))",
     "    if (workSystems.hasG92() && !work)"),
    ("machine/MachineSession.cpp",
     "after a reset the G92 offset the controller cleared is still shown and used, so a zero into the system afterwards sends G92.1 and a G92 for an offset no longer there",
     "        workSystems.g92 = WorkOffsets::Axes{};\n",
     ""),
    ("machine/MachineSession.cpp",
     "a $# asked just before a probe starts ends the probe at once as finding no contact (the $# answer's [PRB:...:0] line taken for the probe's)",
     "    inParameters = inParameters || line.startsWith(QLatin1String(\"[G54:\"));",
     "    inParameters = line.startsWith(QLatin1String(\"[G54:\"));"),
    # app/MainWindow.cpp (work systems)
    ("app/MainWindow.cpp",
     "picking a system in the coordinate system box switches to the next one (G54 picked sends G55)",
     "    SendCommand(QStringLiteral(\"G%1\").arg(54 + index));",
     "    SendCommand(QStringLiteral(\"G%1\").arg(55 + index));"),
    # dialogs/PositionsDialog.cpp
    ("dialogs/PositionsDialog.cpp",
     "Set or Move To on a saved position whose system cell is empty first sends a bare \"G0\" and says it switched to G0",
     "    const bool switching = *system && *system != machine->coordinateSystem();",
     "    const bool switching = *system != machine->coordinateSystem();"),
    # link/SettingsDialog.cpp
    ("link/SettingsDialog.cpp",
     "ticking 'zero into the active coordinate system' in the settings has no effect: the zero buttons keep sending G92",
     "    currentSettings.zeroInActiveSystem = ui->zeroInActiveSystemCheckBox->isChecked();\n",
     ""),
    # link/SettingsStore.cpp
    ("link/SettingsStore.cpp",
     "the 'zero into the active coordinate system' setting is forgotten at the next start: it is read under another key than it is written",
     "store.value(QStringLiteral(\"ZeroInActiveSystem\"), 0)",
     "store.value(QStringLiteral(\"ZeroInActiveSystems\"), 0)"),
    # machine/ProbeCycle.cpp
    ("machine/ProbeCycle.cpp",
     "a longer tool gets a negative tool length offset: G43.1 Z is sent with the wrong sign and the tool cuts too deep by twice its difference",
     "    const double offset = std::round((touch - reference) * 1000) / 1000;",
     "    const double offset = std::round((reference - touch) * 1000) / 1000;"),
    ("machine/ProbeCycle.cpp",
     "touching the reference tool leaves an earlier tool's G43.1 offset in force (no G49)",
     "            ending.lines << QStringLiteral(\"G49\");\n",
     ""),
    # machine/MachineSession.cpp (tool length)
    ("machine/MachineSession.cpp",
     "'this is the reference tool' is ignored once a reference was touched: the new reference gets a G43.1 from the old one and the old touch stays the reference",
     "        asked.referenceTouch = asked.asReference ? std::nullopt : referenceTouch;",
     "        asked.referenceTouch = referenceTouch;"),
    ("machine/MachineSession.cpp",
     "every tool's touch becomes the new reference: the third tool's offset is measured from the second tool, not the reference tool",
     "    if (ending.toolTouch && !probe.request().referenceTouch)",
     "    if (ending.toolTouch)"),
    ("machine/MachineSession.cpp",
     "an alarm (limit switch, reset in motion) does not forget the reference tool's touch: later tools get offsets from a machine position that may be lost",
     "    if (!probe.isActive() && !grid.isActive())\n        forgetToolReference(readable);",
     "    if (!probe.isActive() && grid.isActive())\n        forgetToolReference(readable);"),
    # dialogs/ProbingDialog.cpp
    ("dialogs/ProbingDialog.cpp",
     "with the single probe set up for a positive distance, the tool length button is refused ('probed downwards along Z') instead of probing down",
     "QLatin1Char('Z'), -std::fabs(ui->distanceSpinBox->value()), ui->speedSpinBox->value(), {}};",
     "QLatin1Char('Z'), ui->distanceSpinBox->value(), ui->speedSpinBox->value(), {}};"),
    # sim/GcodeParser.cpp
    ("sim/GcodeParser.cpp",
     "grblsim 1.1 refuses T255 with error 38, which the firmware takes",
     "words.get('T') > maxToolNumber)",
     "words.get('T') >= maxToolNumber)"),
    # sim/Controller.cpp
    ("sim/Controller.cpp",
     "grblsim: a T0 line does not put tool 0 back in the spindle; the last other tool's length stays",
     "    if (action.toolNamed >= 0)",
     "    if (action.toolNamed > 0)"),
    ("sim/Controller.cpp",
     "grblsim loses the G54..G59 origins written with G10 at every reset, unlike the firmware which keeps them",
     "    const auto systems = parser.systems;\n    parser = ParserState{};\n    parser.systems = systems;",
     "    parser = ParserState{};"),
    ("sim/Controller.cpp",
     "grblsim refuses $# (error: not idle) for moves it has planned but not yet started, when the firmware still answers",
     "        ((idle || !cycleStarted) && !hasPending && !checkMode) || alarm != Alarm::None;",
     "        (idle && !hasPending && !checkMode) || alarm != Alarm::None;"),
    # app/MainWindow.cpp (window fitting a laptop screen)
    ("app/MainWindow.cpp",
     "the overrides dock sits below the special commands instead of as a tab beside them, taller than a laptop's screen",
     "    tabifyDockWidget(ui->dockWidgetSpecialCommands, ui->dockWidgetOverrides);\n",
     ""),
    ("app/MainWindow.cpp",
     "the terminal can be squeezed to a few characters wide by the docks",
     "terminal->setMinimumWidth(terminalColumns * terminal->fontMetrics().averageCharWidth() +",
     "terminal->setMinimumWidth(terminalColumns + terminal->fontMetrics().averageCharWidth() +"),
]

SETS = {"first": FIRST, "fresh-19": FRESH_19, "fresh-20": FRESH_20, "fresh-21": FRESH_21, "fresh-22": FRESH_22, "fresh-23": FRESH_23}


def run(command, cwd, env=None, timeout=None):
    return subprocess.run(command, cwd=cwd, env=env, timeout=timeout, capture_output=True,
                          text=True, errors="replace")


def apply(tree, fault):
    path = os.path.join(tree, fault[0])
    with open(path) as file:
        text = file.read()
    count = text.count(fault[2])
    if count != 1:
        return None, count
    with open(path, "w") as file:
        file.write(text.replace(fault[2], fault[3]))
    return text, 1


def first_failure(output):
    """The first failing test and, where it says, its first failed check: a catch by a check
    that has nothing to do with the fault is no catch."""
    match = re.search(r"Test\s+#\d+: (\S+) \.+\*+(Failed|Timeout|Exception)", output)
    if not match:
        return None
    check = re.search(r"^FAIL!  : (\w+::\w+(\([^)]*\))?)(.*)\n(?:.*\n)*?\s*Loc: \[.*?(\d+)\)\]",
                      output, re.MULTILINE)
    if not check:
        return match.group(1)
    return f"{match.group(1)} ({check.group(1)} line {check.group(4)}:{check.group(3)[:80]})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--set", choices=list(SETS), default="")
    parser.add_argument("--only", default="")
    parser.add_argument("--results", default="")
    parser.add_argument("--workers", type=int, default=1)
    arguments = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    only = [int(n) for n in arguments.only.split(",") if n]
    chosen = [(name, n, SETS[name][n - 1])
              for name in ([arguments.set] if arguments.set else SETS)
              for n in (only or range(1, len(SETS[name]) + 1)) if 0 < n <= len(SETS[name])]
    if not chosen:
        sys.exit("no such fault")

    if arguments.check:
        bad = 0
        for name, n, fault in chosen:
            with open(os.path.join(root, fault[0])) as file:
                count = file.read().count(fault[2])
            if count != 1:
                print(f"{name} {n:2} {fault[0]}: found {count} times: {fault[1]}")
                bad += 1
        for name in dict.fromkeys(name for name, _, _ in chosen):
            print(f"{name}: {sum(1 for c in chosen if c[0] == name)} faults")
        print(f"{len(chosen) - bad} of {len(chosen)} faults apply")
        return 1 if bad else 0

    work = os.path.join(root, "build-mutants")
    workers = max(1, arguments.workers)
    cores = str(max(1, (os.cpu_count() or 1) // workers))
    # The copy lies elsewhere: the real firmware is found beside the checkout, not beside it.
    firmware = os.path.realpath(os.path.join(root, "..", "shared", "grbl-firmware"))
    archive = subprocess.run(["git", "archive", "HEAD"], cwd=root, capture_output=True, check=True)
    env = dict(os.environ, QT_LOGGING_RULES="orlo.*.debug=false", LIBGL_ALWAYS_SOFTWARE="1")

    def prepare(worker):
        tree = os.path.join(work, f"w{worker}", "src")
        build = os.path.join(work, f"w{worker}", "build")
        shutil.rmtree(tree, ignore_errors=True)
        os.makedirs(tree)
        subprocess.run(["tar", "-x", "-C", tree], input=archive.stdout, check=True)
        run(["cmake", "-S", tree, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
             f"-DORLO_GRBL_FIRMWARE={firmware}"], root)
        if run(["cmake", "--build", build, "--parallel", cores], root).returncode:
            sys.exit("the unbroken sources do not build")
        return tree, build

    def trial(worker, tree, build, fault):
        original, count = apply(tree, fault)
        if original is None:
            return f"NOT APPLIED ({count} matches)"
        try:
            if run(["cmake", "--build", build, "--parallel", cores], root).returncode:
                return "CAUGHT by the build"
            # A display of each worker's own: two "xvfb-run -a" at once may pick the same one,
            # and the first to end takes it away from the other.
            display = str(300 + worker * 7 + os.getpid() % 7)
            tests = run(["xvfb-run", "-n", display, "-s", "-screen 0 1600x1200x24 -nolisten tcp", "ctest",
                         "-j2", "--stop-on-failure", "--output-on-failure", "--timeout", "300"],
                        build, env, timeout=1800)
            failed = first_failure(tests.stdout)
            if failed:
                return f"CAUGHT by {failed}"
            # A suite that did not run through is no proof that the fault went unnoticed.
            if "100% tests passed" not in tests.stdout:
                summary = (tests.stdout.strip().splitlines() or ["no output"])[-1]
                return f"UNSURE: {summary[:100]} {tests.stderr.strip()[-200:]}"
            return "MISSED"
        finally:
            with open(os.path.join(tree, fault[0]), "w") as file:
                file.write(original)

    # Most of a suite's run waits on timers and the simulated machine: several faults at once,
    # each in a copy of its own, use the cores a single run leaves idle.
    pending = queue.Queue()
    for item in chosen:
        pending.put(item)
    results = {}
    lock = threading.Lock()

    def work_through(worker):
        tree, build = prepare(worker)
        while True:
            try:
                name, n, fault = pending.get_nowait()
            except queue.Empty:
                return
            line = f"{name} {n:2} {trial(worker, tree, build, fault):40} {fault[0]}: {fault[1]}"
            with lock:
                print(line, flush=True)
                results[(name, n)] = line

    threads = [threading.Thread(target=work_through, args=(w,)) for w in range(workers)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    out = arguments.results or os.path.join(work, "results.txt")
    with open(out, "w") as file:
        file.write("\n".join(results[(name, n)] for name, n, _ in chosen if (name, n) in results))
        file.write("\n")
    return 0

if __name__ == "__main__":
    sys.exit(main())
