// The page's runs on large files, against the browser's own floor and native vlt.
//
//   node bench/web_bench.mjs chromium         SITE VLT NODE_MODULES GIB [WORK_DIR] [RUNS] [OPERATIONS]
//   node bench/web_bench.mjs firefox          SITE VLT NODE_MODULES GIB [WORK_DIR] [RUNS] [OPERATIONS]
//   node bench/web_bench.mjs firefox-download SITE VLT NODE_MODULES GIB [WORK_DIR]
//
// chromium: the page's worker encrypts and decrypts a random file of GIB GiB through the
// save-picker path (createWritable into a file of the origin's storage, in a persistent
// profile on disk: a throwaway profile keeps that storage in memory with a small quota),
// and writes the same 3N + 4 bytes through the same path without the cipher (the floor).
// firefox: the same runs into the origin's storage, as the page writes there before a
// download. Median of RUNS (default 3) each, with the worker's time in each step of every
// run (waiting for the read, copying into the core, the core, copying out, waiting for the
// write); the first run's outputs are compared byte for byte with native vlt's, in the
// page. OPERATIONS: some of floor,encrypt,decrypt (default all). firefox-download: the page
// encrypts through its buttons, the output goes to the origin's storage and then Firefox's
// real download, which is compared with native vlt's. Needs about 8 × GIB GiB free in
// WORK_DIR (default /var/tmp).

import { spawnSync } from 'node:child_process';
import { randomFillSync } from 'node:crypto';
import { closeSync, mkdtempSync, openSync, readSync, rmSync, statSync, writeFileSync, writeSync } from 'node:fs';
import { join, resolve } from 'node:path';

import { serveSite } from '../web/serve.mjs';
import { chooseToEncrypt, launch, pageReady, until } from '../tests/web/browsers.mjs';

const [browserName, siteDir, vltArg, modulesArg, gib = '1', workArg = '/var/tmp', runsArg = '3', operationsArg = 'floor,encrypt,decrypt'] =
  process.argv.slice(2);
const vlt = resolve(vltArg);
const modules = resolve(modulesArg);
const work = mkdtempSync(join(resolve(workArg), 'vlt-web-bench-'));
const plainBytes = Math.round(Number(gib) * 2 ** 30);
const key = 'bench key';
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const mbps = (seconds) => (plainBytes / 1e6 / seconds).toFixed(0);

function makeInput(path) {
  const fd = openSync(path, 'w');
  const chunk = Buffer.alloc(16 << 20);
  for (let left = plainBytes; left > 0; left -= chunk.length) writeSync(fd, randomFillSync(chunk), 0, Math.min(left, chunk.length));
  closeSync(fd);
}

function timedVlt(args) {
  const started = process.hrtime.bigint();
  const result = spawnSync(vlt, [args[0], '-q', ...args.slice(1)], { stdio: ['ignore', 'ignore', 'pipe'] });
  if (result.status !== 0) throw new Error(`vlt ${args.join(' ')}: ${result.stderr}`);
  return Number(process.hrtime.bigint() - started) / 1e9;
}

function sameFiles(a, b) {
  if (statSync(a).size !== statSync(b).size) return false;
  const [fa, fb] = [openSync(a, 'r'), openSync(b, 'r')];
  const [ba, bb] = [Buffer.alloc(16 << 20), Buffer.alloc(16 << 20)];
  try {
    for (;;) {
      const n = readSync(fa, ba);
      if (n !== readSync(fb, bb) || !ba.subarray(0, n).equals(bb.subarray(0, n))) return false;
      if (n === 0) return true;
    }
  } finally {
    closeSync(fa);
    closeSync(fb);
  }
}

// One run of the page's worker, timed in the page: operation over the file chosen in
// Browse1 (plaintext) or Browse2 (the native .vlt), into `picked/<operation>` (the
// save-picker path) or the origin's storage (sink 'storage', Firefox's path). The output
// is kept in window.vltBenchOutput for sameInPage; `steps` holds the worker's time in each
// step of the run.
const runInPage = async ({ operation, sink }) => {
    const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('picked', { create: true });
    for await (const name of folder.keys()) await folder.removeEntry(name);
    const handle = await folder.getFileHandle(operation, { create: true });
    const file = document.getElementById(operation === 'decrypt' ? 'Browse2' : 'Browse1').files[0];
    const worker = new Worker('worker.js', { type: 'module' });
    const started = performance.now();
    const result = await new Promise((done) => {
      worker.onmessage = ({ data }) => data.id === 1 && done(data.result ?? data);
      const request = { id: 1, type: 'run', operation, file, key: 'bench key', codePage: 1252, writeOnWrongKey: false, steps: true };
      worker.postMessage({ ...request, sink: sink === 'picker' ? { kind: 'picker', handle } : { kind: 'storage' } });
    });
    const seconds = (performance.now() - started) / 1000;
    worker.terminate();
    window.vltBenchOutput = sink === 'picker' ? await handle.getFile() : result.output;
    return { seconds, status: result.status ?? result.error, size: window.vltBenchOutput?.size, steps: result.steps };
};

// Compares the page's last output with the file in a chooser, a slice at a time.
async function sameInPage(page, operation) {
  return page.evaluate(async (operation) => {
    const output = window.vltBenchOutput;
    const expected = document.getElementById(operation === 'decrypt' ? 'Browse1' : 'Browse2').files[0];
    if (output.size !== expected.size) return false;
    const slice = 32 << 20;
    for (let at = 0; at < output.size; at += slice) {
      const [a, b] = await Promise.all(
        [output, expected].map(async (f) => new Uint8Array(await f.slice(at, at + slice).arrayBuffer())),
      );
      for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
    }
    return true;
  }, operation);
}

// The worker's runs in Chromium through the save-picker path, or in Firefox into the
// origin's storage (what the page does there before the download).
async function workerRuns(site, plain, native) {
  const runs = Number(runsArg);
  const table = [];
  const sink = browserName === 'chromium' ? 'picker' : 'storage';
  const browser = await launch(sink === 'picker' ? 'chromium-picker' : 'firefox', { modules, profile: join(work, 'profile') });
  try {
    const { page } = browser;
    await page.goto(site.url);
    await pageReady(page);
    await page.setFiles('#Browse1', plain);
    await page.setFiles('#Browse2', native);
    for (const operation of operationsArg.split(',')) {
      const seconds = [];
      for (let run = 0; run < runs; run++) {
        const result = await page.evaluate(runInPage, { operation, sink });
        if (result.status !== 'finished') throw new Error(`${operation}: ${result.status}`);
        if (run === 0 && operation !== 'floor' && !(await sameInPage(page, operation)))
          throw new Error(`${operation}: the output differs from native vlt's`);
        seconds.push(result.seconds);
        const steps = Object.entries(result.steps ?? {}).map(([step, ms]) => `${step} ${(ms / 1000).toFixed(2)}`);
        console.log(`${operation} ${result.seconds.toFixed(2)} s; steps (s): ${steps.join(', ')}`);
      }
      table.push([operation, median(seconds)]);
    }
    await page.evaluate(async () => (await navigator.storage.getDirectory()).removeEntry('picked', { recursive: true }));
  } finally {
    await browser.close();
  }
  const nativeRuns = (args) => median(Array.from({ length: runs }, () => timedVlt(args)));
  const nativeSeconds = {
    encrypt: nativeRuns(['encrypt', '-f', '--key-file', join(work, 'key'), '-o', join(work, 'n.vlt'), plain]),
    decrypt: nativeRuns(['decrypt', '-f', '--key-file', join(work, 'key'), '-o', join(work, 'n.out'), native]),
  };
  rmSync(join(work, 'n.vlt'), { force: true });
  const floor = table.find(([operation]) => operation === 'floor')?.[1];
  const path = sink === 'picker' ? 'Chromium, save-picker path (createWritable)' : "Firefox, the origin's storage (createSyncAccessHandle)";
  console.log(`\n${path}, ${gib} GiB, medians of ${runs}; outputs equal native vlt's\n`);
  console.log('| run | wall (s) | MB/s of plaintext | ratio to the floor | native vlt (s) | ratio to native |');
  console.log('|---|---:|---:|---:|---:|---:|');
  for (const [operation, seconds] of table) {
    const n = nativeSeconds[operation];
    console.log(
      `| ${operation === 'floor' ? 'floor (3N + 4 bytes, no cipher)' : operation} | ${seconds.toFixed(2)} | ${mbps(seconds)} |` +
        ` ${floor ? (seconds / floor).toFixed(2) : ''} | ${n ? n.toFixed(2) : ''} | ${n ? (seconds / n).toFixed(1) : ''} |`,
    );
  }
}

async function firefoxDownload(site, plain, native) {
  const browser = await launch('firefox', { modules, profile: join(work, 'profile'), downloads: join(work, 'downloads') });
  try {
    const { page } = browser;
    await page.goto(site.url);
    await pageReady(page);
    await chooseToEncrypt(page, plain, key);
    const started = Date.now();
    await page.click('#Command1');
    await until(
      () => page.evaluate(() => (document.getElementById('Message').open ? document.getElementById('MessageText').textContent : undefined)),
      'the end of the run',
      3_600_000,
    );
    const ran = (Date.now() - started) / 1000;
    const downloaded = await browser.downloadPath('plain.vlt', 3_600_000);
    const total = (Date.now() - started) / 1000;
    const same = sameFiles(downloaded, native);
    console.log(`\nFirefox, ${gib} GiB encrypted through its buttons: private storage ${ran.toFixed(1)} s,` +
      ` downloaded after ${total.toFixed(1)} s (${mbps(total)} MB/s of plaintext);` +
      ` native vlt ${timedVlt(['encrypt', '-f', '--key-file', join(work, 'key'), '-o', join(work, 'n.vlt'), plain]).toFixed(1)} s;` +
      ` the download ${same ? 'equals' : 'DIFFERS FROM'} native vlt's output (${statSync(downloaded).size} bytes)`);
    if (!same) process.exitCode = 1;
  } finally {
    await browser.close();
  }
}

const plain = join(work, 'plain');
const keyFile = join(work, 'key');
const native = join(work, 'plain.vlt');
let site;
try {
  makeInput(plain);
  writeFileSync(keyFile, key);
  timedVlt(['encrypt', '--key-file', keyFile, '-o', native, plain]);
  site = await serveSite(resolve(siteDir), 0);
  await (browserName === 'firefox-download' ? firefoxDownload : workerRuns)(site, plain, native);
} finally {
  site?.server.close();
  rmSync(work, { recursive: true, force: true });
}
