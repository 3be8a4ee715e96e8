'use strict';
// `veltrim` run through Node: the binary started with the arguments exactly as given, on the
// same standard input, output and error, and its end passed on as this process's own.
const { spawn } = require('child_process');
const { constants } = require('os');
const { binaryHere } = require('./binary.js');

// Signals that end a terminal program and may reach this process alone (kill, a supervisor,
// a closed terminal): the binary gets them too, so that it does not outlive its launcher.
// A Ctrl-C in a terminal reaches both already, which does no harm. On Windows the console
// gives Ctrl-C to every process on it, and the launcher only waits for the binary's end.
const FORWARDED = process.platform === 'win32'
  ? ['SIGINT', 'SIGBREAK']
  : ['SIGINT', 'SIGTERM', 'SIGHUP'];

function endLike(code, signal) {
  if (signal === null) {
    process.exitCode = code;
    return;
  }
  // The same end as the binary's: the shell then reports it as it would have for the tool.
  // Node ignores some signals (SIGPIPE), so the shells' number for a signal's end follows.
  process.kill(process.pid, signal);
  setTimeout(() => process.exit(128 + (constants.signals[signal] || 0)), 100);
}

function main() {
  const found = binaryHere();
  if (!found.path) {
    process.stderr.write(`${found.message}\n`);
    process.exitCode = 1;
    return;
  }
  const child = spawn(found.path, process.argv.slice(2), { stdio: 'inherit' });
  const pass = (signal) => {
    if (process.platform !== 'win32') child.kill(signal);
  };
  for (const signal of FORWARDED) process.on(signal, pass);
  child.on('error', (err) => {
    process.stderr.write(`veltrim: cannot start ${found.path}: ${err.message}\n`);
    process.exitCode = 1;
  });
  child.on('exit', (code, signal) => {
    for (const s of FORWARDED) process.removeListener(s, pass);
    endLike(code, signal);
  });
}

module.exports = { main };
