'use strict';
// The tool for build scripts: convert() runs the `veltrim -` filter over bytes in memory,
// convertFile() the tool over one file. Each call is a process of its own, so that any number
// may run at once.
const { spawn } = require('child_process');
const { binaryHere } = require('./lib/binary.js');

// Strings are encoded a slice at a time as the pipe takes them, so that a large one is never
// held twice, once as UTF-16 and once whole as UTF-8.
const SLICE = 1 << 16;

function binaryOrReject() {
  const found = binaryHere();
  return found.path ? found.path : new Error(found.message);
}

// The bytes of a Buffer or Uint8Array without a copy, or null for anything else.
function bytesOf(input) {
  if (Buffer.isBuffer(input)) return input;
  if (input instanceof Uint8Array) {
    return Buffer.from(input.buffer, input.byteOffset, input.byteLength);
  }
  return null;
}

// The next slice of a string: never between the two halves of a surrogate pair, which
// would each encode as U+FFFD.
function sliceEnd(text, start) {
  let end = Math.min(text.length, start + SLICE);
  const last = text.charCodeAt(end - 1);
  if (end < text.length && last >= 0xd800 && last <= 0xdbff) end -= 1;
  return end;
}

// Writes the input into the child's standard input as fast as the pipe takes it.
function feed(stdin, bytes, text) {
  if (bytes) {
    stdin.end(bytes);
    return;
  }
  let at = 0;
  const more = () => {
    while (at < text.length) {
      const end = sliceEnd(text, at);
      const ok = stdin.write(Buffer.from(text.slice(at, end), 'utf8'));
      at = end;
      if (!ok) {
        stdin.once('drain', more);
        return;
      }
    }
    stdin.end();
  };
  more();
}

// The output's chunks as one Buffer, each chunk let go as it is copied.
function joined(chunks, length) {
  const out = Buffer.allocUnsafe(length);
  let at = 0;
  for (let i = 0; i < chunks.length; i += 1) {
    at += chunks[i].copy(out, at);
    chunks[i] = null;
  }
  return out;
}

// An Error for a run that ended otherwise than well: the tool's own message where it gave one.
function failure(said, code, signal) {
  const lines = said.split(/\r?\n/).filter((line) => line.trim() !== '');
  let message = lines.length ? lines[lines.length - 1] : '';
  if (!message && signal) message = `veltrim ended by ${signal}`;
  if (!message) message = `veltrim exited with status ${code}`;
  const err = new Error(message);
  err.status = code;
  err.signal = signal;
  return err;
}

// The line form of a stylesheet given as a string (written as UTF-8), Buffer or Uint8Array,
// byte for byte as `veltrim -` writes it.
function convert(input) {
  return new Promise((resolve, reject) => {
    const bytes = bytesOf(input);
    if (!bytes && typeof input !== 'string') {
      reject(new TypeError('convert: the input must be a string, Buffer or Uint8Array'));
      return;
    }
    const binary = binaryOrReject();
    if (binary instanceof Error) {
      reject(binary);
      return;
    }
    const child = spawn(binary, ['-'], { stdio: ['pipe', 'pipe', 'pipe'], windowsHide: true });
    const chunks = [];
    let length = 0;
    let said = '';
    child.stdout.on('data', (chunk) => {
      chunks.push(chunk);
      length += chunk.length;
    });
    child.stderr.setEncoding('utf8');
    child.stderr.on('data', (text) => {
      said += text;
    });
    // A tool that stops reading (it failed) closes the pipe: its exit says what happened.
    child.stdin.on('error', () => {});
    child.on('error', reject);
    child.on('close', (code, signal) => {
      if (code === 0) resolve(joined(chunks, length));
      else reject(failure(said, code, signal));
    });
    feed(child.stdin, bytes, input);
  });
}

// The tool's arguments that are not a file to convert.
const NOT_A_FILE = ['-', '/?', '-?', '-h', '--help', '--version'];

// Converts one .css file as `veltrim NAME` does; resolves with the output's name (NAME with
// its last four characters made `.olf`), or rejects with the tool's message.
function convertFile(name) {
  return new Promise((resolve, reject) => {
    if (typeof name !== 'string' || NOT_A_FILE.includes(name) ||
        (process.platform === 'win32' && /[*?]/.test(name))) {
      reject(new TypeError(`convertFile: not one file's name: ${String(name)}`));
      return;
    }
    const binary = binaryOrReject();
    if (binary instanceof Error) {
      reject(binary);
      return;
    }
    // VELTRIM_STATUS=1: the exit status, not the Czech result line, tells success.
    const env = { ...process.env, VELTRIM_STATUS: '1' };
    const options = { stdio: ['ignore', 'pipe', 'pipe'], env, windowsHide: true };
    const child = spawn(binary, [name], options);
    let said = '';
    child.stdout.setEncoding('utf8');
    child.stdout.on('data', (text) => {
      said += text;
    });
    child.stderr.resume();
    child.on('error', reject);
    child.on('close', (code, signal) => {
      if (code === 0) resolve(`${name.slice(0, -4)}.olf`);
      else reject(failure(said, code, signal));
    });
  });
}

module.exports = { convert, convertFile };
