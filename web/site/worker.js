// The page's runs, off the page's thread: the input is read a slice at a time, turned by the
// WebAssembly core (the project's C++ .vlt streams) and written a slice at a time, into the
// file the save picker gave or into the origin's private storage. Never the whole file in
// memory. Also answers the page's questions that the core's rules decide (names, code
// pages).

import createCore from './vlt_core.mjs';

// Plaintext bytes per slice: their digits are three times as many.
const kPlainSlice = 4 << 20;
// Slices asked for at once.
const kReadAhead = 3;
// The folder of the origin's private storage that holds outputs for a download.
const kOutputs = 'outputs';
const kVerdicts = ['going', 'finished', 'wrongKey', 'damaged'];

const corePromise = createCore().then((module) => ({
  module,
  codePageForLocale: module.cwrap('vlt_code_page_for_locale', 'number', ['string']),
  supportedCodePages: module.cwrap('vlt_supported_code_pages', 'number', ['number', 'number']),
  encryptedName: module.cwrap('vlt_encrypted_name', 'string', ['string']),
  decryptedName: module.cwrap('vlt_decrypted_name', 'number', ['string']),
  encryptBegin: module.cwrap('vlt_encrypt_begin', 'boolean', ['string', 'number']),
  encryptPush: module.cwrap('vlt_encrypt_push', null, ['number', 'number', 'number']),
  encryptFinish: module.cwrap('vlt_encrypt_finish', 'number', ['number']),
  decryptBegin: module.cwrap('vlt_decrypt_begin', 'boolean', ['string', 'number', 'boolean']),
  decryptRoom: module.cwrap('vlt_decrypt_room', 'number', ['number']),
  decryptPush: module.cwrap('vlt_decrypt_push', 'number', ['number', 'number', 'number']),
  decryptFinish: module.cwrap('vlt_decrypt_finish', 'number', ['number']),
  decryptState: module.cwrap('vlt_decrypt_state', 'number', []),
  decryptProblem: module.cwrap('vlt_decrypt_problem', 'string', []),
  end: module.cwrap('vlt_end', null, []),
}));

let stopRequested = false;
// Milliseconds a run spent in each of its steps, kept when the request asks for them (the
// benchmark's `steps`); null otherwise.
let steps = null;
const now = () => (steps ? performance.now() : 0);
function spent(step, since) {
  if (steps) steps[step] = (steps[step] ?? 0) + performance.now() - since;
}

class Stopped extends Error {}

const requests = {
  async setup({ locale }) {
    const core = await corePromise;
    const room = 64;
    const pointer = core.module._malloc(4 * room);
    const count = core.supportedCodePages(pointer, room);
    const codePages = Array.from(core.module.HEAP32.subarray(pointer / 4, pointer / 4 + Math.min(count, room)));
    core.module._free(pointer);
    await removeOutputs();
    return { codePages, codePage: core.codePageForLocale(locale) };
  },
  async encryptedName({ name }) {
    return (await corePromise).encryptedName(name);
  },
  async decryptedName({ name }) {
    const core = await corePromise;
    const pointer = core.decryptedName(name);
    return pointer === 0 ? null : core.module.UTF8ToString(pointer);
  },
  run,
};

self.onmessage = ({ data }) => {
  if (data.type === 'stop') {
    stopRequested = true;
    return;
  }
  requests[data.type](data).then(
    (result) => self.postMessage({ id: data.id, result }),
    (error) => self.postMessage({ id: data.id, error: String(error?.message ?? error) }),
  );
};

// One run: { operation: 'encrypt' | 'decrypt' | 'floor', file, key, codePage, sink,
// writeOnWrongKey }. 'floor' writes the 3N + 4 bytes of an encryption through the same
// path without the cipher, for the benchmark. Ends { status: 'finished' | 'wrongKey' |
// 'damaged' | 'failed' | 'stopped', message, output } with nothing saved but on 'finished'.
async function run(request) {
  stopRequested = false;
  steps = request.steps ? {} : null;
  const core = await corePromise;
  let sink;
  try {
    sink = await openSink(request.sink);
    const status = await (request.operation === 'decrypt' ? decrypt : encrypt)(core, request, sink);
    if (status.status !== 'finished') {
      await sink.abort();
      return status;
    }
    const since = now();
    const output = await sink.close();
    spent('close', since);
    return { status: 'finished', output, steps };
  } catch (error) {
    await sink?.abort().catch(() => {});
    if (error instanceof Stopped) return { status: 'stopped' };
    return { status: 'failed', message: reason(error, request.file.name) };
  } finally {
    core.end();
  }
}

function reason(error, name) {
  if (error?.name === 'QuotaExceededError') return `${name}: the browser's storage for this page is full`;
  if (error?.name === 'NotReadableError' || error?.name === 'NotFoundError')
    return `${name}: cannot be read (moved, changed or removed since it was chosen)`;
  return `${name}: ${error?.message ?? error}`;
}

// The file's slices, each read while the ones before it are turned and written. Up to
// kReadAhead are asked for at once: side by side they come faster.
async function* slices(file, size) {
  const ahead = [];
  let asked = 0;
  const askMore = () => {
    for (; ahead.length < kReadAhead && asked < file.size; asked += size) {
      const read = file.slice(asked, asked + size).arrayBuffer();
      // A run that ends early leaves reads behind; their failures are no one's.
      read.catch(() => {});
      ahead.push(read);
    }
  };
  askMore();
  for (let at = 0; at < file.size; at += size) {
    const since = now();
    const bytes = new Uint8Array(await ahead.shift());
    spent('read', since);
    if (bytes.length !== Math.min(size, file.size - at)) throw new DOMException('short read', 'NotReadableError');
    askMore();
    if (stopRequested) throw new Stopped();
    yield bytes;
  }
}

// Writes one slice while the next is made; waits for the one before.
class Writer {
  constructor(sink) {
    this.sink = sink;
    this.pending = Promise.resolve();
  }
  async write(bytes) {
    const since = now();
    await this.pending;
    if (stopRequested) throw new Stopped();
    // The storage's writes are synchronous: they happen in this call.
    this.pending = this.sink.write(bytes);
    spent('write', since);
  }
  async flush() {
    const since = now();
    await this.pending;
    spent('write', since);
  }
}

function progress(done, total) {
  const percent = total === 0 ? 100 : Math.floor((100 * done) / total);
  if (percent !== progress.last) {
    progress.last = percent;
    self.postMessage({ type: 'progress', percent });
  }
}

async function encrypt(core, { file, key, codePage, operation }, sink) {
  const heap = () => core.module.HEAPU8;
  if (operation !== 'floor' && !core.encryptBegin(key, codePage)) throw new Error(`code page ${codePage} is not supported`);
  const input = core.module._malloc(kPlainSlice);
  const output = core.module._malloc(3 * kPlainSlice);
  const writer = new Writer(sink);
  progress.last = -1;
  try {
    let done = 0;
    for await (const bytes of slices(file, kPlainSlice)) {
      let digits;
      if (operation === 'floor') {
        digits = new Uint8Array(3 * bytes.length);
      } else {
        let since = now();
        heap().set(bytes, input);
        spent('copy in', since);
        since = now();
        core.encryptPush(input, bytes.length, output);
        spent('core', since);
        since = now();
        digits = heap().slice(output, output + 3 * bytes.length);
        spent('copy out', since);
      }
      await writer.write(digits);
      done += bytes.length;
      progress(done, file.size);
    }
    const closing = operation === 'floor' ? 4 : core.encryptFinish(output);
    await writer.write(operation === 'floor' ? new Uint8Array(closing) : heap().slice(output, output + closing));
    await writer.flush();
    progress(file.size, file.size);
    return { status: 'finished' };
  } finally {
    core.module._free(input);
    core.module._free(output);
  }
}

async function decrypt(core, { file, key, codePage, writeOnWrongKey }, sink) {
  const heap = () => core.module.HEAPU8;
  if (!core.decryptBegin(key, codePage, writeOnWrongKey)) throw new Error(`code page ${codePage} is not supported`);
  const slice = 3 * kPlainSlice;
  const input = core.module._malloc(slice);
  const output = core.module._malloc(Math.max(core.decryptRoom(slice), core.decryptRoom(0)));
  const writer = new Writer(sink);
  progress.last = -1;
  const verdict = () => kVerdicts[core.decryptState()];
  try {
    let done = 0;
    for await (const bytes of slices(file, slice)) {
      let since = now();
      heap().set(bytes, input);
      spent('copy in', since);
      since = now();
      const count = core.decryptPush(input, bytes.length, output);
      spent('core', since);
      since = now();
      const plain = heap().slice(output, output + count);
      spent('copy out', since);
      if (count > 0) await writer.write(plain);
      if (verdict() === 'wrongKey' || verdict() === 'damaged') break;
      done += bytes.length;
      progress(done, file.size);
    }
    if (verdict() === 'going') {
      const count = core.decryptFinish(output);
      if (count > 0) await writer.write(heap().slice(output, output + count));
    }
    await writer.flush();
    switch (verdict()) {
      case 'finished':
        progress(file.size, file.size);
        return { status: 'finished' };
      case 'wrongKey':
        return { status: 'wrongKey' };
      default:
        return { status: 'damaged', message: `${file.name}: ${core.decryptProblem()}` };
    }
  } finally {
    core.module._free(input);
    core.module._free(output);
  }
}

// Where the output goes: { kind: 'picker', handle } streams into the file the save picker
// gave (the browser keeps it aside until close; abort leaves the file untouched), and
// { kind: 'storage' } into a file of the origin's private storage that the page then
// downloads. close() returns the storage's File for the download.
async function openSink(target) {
  if (target.kind === 'picker') {
    const writable = await target.handle.createWritable();
    return {
      write: (bytes) => writable.write(bytes),
      close: async () => {
        await writable.close();
        return null;
      },
      abort: () => writable.abort(),
    };
  }
  await removeOutputs();
  const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle(kOutputs, { create: true });
  const name = crypto.randomUUID();
  const handle = await folder.getFileHandle(name, { create: true });
  const access = await handle.createSyncAccessHandle();
  let at = 0;
  let open = true;
  return {
    write: async (bytes) => {
      const written = access.write(bytes, { at });
      if (written !== bytes.length) throw new DOMException('short write', 'QuotaExceededError');
      at += written;
    },
    close: async () => {
      access.flush();
      access.close();
      open = false;
      return handle.getFile();
    },
    abort: async () => {
      if (open) access.close();
      open = false;
      await folder.removeEntry(name);
    },
  };
}

// Outputs of earlier runs and visits, downloaded by now or left by a closed page.
async function removeOutputs() {
  try {
    await (await navigator.storage.getDirectory()).removeEntry(kOutputs, { recursive: true });
  } catch {
    // None there, or a run of another tab holds its file open.
  }
}
