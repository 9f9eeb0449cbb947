// Runs the page's cases (cases.mjs) in one browser configuration against the built site,
// served on 127.0.0.1, with the native `vlt` for the expected bytes.
//
//   node page_test.mjs CONFIGURATION SITE_DIR VLT NODE_MODULES
//
// CONFIGURATION is chromium-picker, chromium-download or firefox (browsers.mjs).

import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync, truncateSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

import { serveSite } from '../../web/serve.mjs';
import { launch, pageReady, until } from './browsers.mjs';
import { cases } from './cases.mjs';

const [configuration, siteDir, vltProgram, modules] = process.argv.slice(2).map((arg, i) => (i === 0 ? arg : resolve(arg)));
const work = mkdtempSync(join(tmpdir(), 'vlt-web-test-'));

// The native program's output for the same input, key and code page.
function runVlt(operation, input, key, codePage, extra = []) {
  const folder = mkdtempSync(join(work, 'vlt-'));
  writeFileSync(join(folder, 'in'), input);
  writeFileSync(join(folder, 'key'), key);
  const result = spawnSync(
    vltProgram,
    [operation, '-q', '--key-file', join(folder, 'key'), '--codepage', String(codePage), ...extra, '-o', '-', join(folder, 'in')],
    { maxBuffer: 1 << 30 },
  );
  rmSync(folder, { recursive: true, force: true });
  return result;
}

// A server of another origin that counts what reaches it.
async function otherOrigin() {
  let requests = 0;
  const server = createServer((request, response) => {
    requests++;
    response.end('reached');
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  return { server, url: `http://127.0.0.1:${server.address().port}/`, requests: () => requests };
}

// What a case can do with the page and its browser.
function harness(browser, bigFile, other) {
  const { page } = browser;
  const picker = browser.configuration.picker;
  let downloadsBefore = 0;
  const h = {
    bigFile,
    otherOrigin: other,
    until,
    evaluate: page.evaluate,
    async open(url) {
      await page.goto(url);
      await pageReady(page);
      await page.evaluate(async () => {
        await (await navigator.storage.getDirectory()).removeEntry('picked', { recursive: true }).catch(() => {});
      });
      downloadsBefore = browser.downloadCount();
    },
    value: (id) => page.evaluate((id) => document.getElementById(id).value, id),
    type: (id, text) =>
      page.evaluate(([id, text]) => {
        const element = document.getElementById(id);
        element.value = text;
        element.dispatchEvent(new Event('input', { bubbles: true }));
      }, [id, text]),
    select: (id, value) =>
      page.evaluate(([id, value]) => {
        const element = document.getElementById(id);
        element.value = value;
        element.dispatchEvent(new Event('change', { bubbles: true }));
      }, [id, value]),
    click: (id) => page.click(`#${id}`),
    // Files dropped onto a control as a file manager drops them.
    drop: (id, name, bytes, { count = 1 } = {}) =>
      page.evaluate(
        ([id, name, base64, count]) => {
          const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
          const data = new DataTransfer();
          for (let i = 0; i < count; i++) data.items.add(new File([bytes], i ? `${i}-${name}` : name));
          const target = document.getElementById(id);
          target.dispatchEvent(new DragEvent('dragover', { bubbles: true, cancelable: true, dataTransfer: data }));
          target.dispatchEvent(new DragEvent('drop', { bubbles: true, cancelable: true, dataTransfer: data }));
        },
        [id, name, Buffer.from(bytes).toString('base64'), count],
      ).then(() =>
        until(
          () =>
            page.evaluate(
              ([id, name]) => {
                const input = document.getElementById(document.getElementById(id).dataset.drop === 'encrypt' ? 'Text1' : 'Text6');
                return document.getElementById('Message').open || input.value === name ? true : undefined;
              },
              [id, name],
            ),
          'the drop',
        ),
      ),
    // A file chosen in the browser's own chooser behind a "...".
    async choose(inputId, name, content) {
      let path = content;
      if (typeof content !== 'string') {
        path = join(mkdtempSync(join(work, 'chosen-')), name);
        writeFileSync(path, content);
      }
      await page.setFiles(`#${inputId}`, path);
      const box = inputId === 'Browse1' ? 'Text1' : 'Text6';
      await until(async () => ((await h.value(box)) === name ? true : undefined), `${name} in ${box}`);
    },
    // The dialog once it is open: its text, its answers and the one with the focus.
    message: () =>
      until(
        () =>
          page.evaluate(() => {
            const dialog = document.getElementById('Message');
            if (!dialog.open) return undefined;
            return {
              text: document.getElementById('MessageText').textContent,
              answers: [...dialog.querySelectorAll('button:not([hidden])')].map((b) => b.value),
              focused: document.activeElement.value,
            };
          }),
        'a message',
      ),
    // Answers the open dialog; done once it has closed or shows the next message already.
    async answer(value) {
      await h.message();
      await page.evaluate(() => {
        window.vltAnswered = document.getElementById('MessageText').firstChild;
      });
      await page.click(`#Message button[value=${value}]`);
      await until(
        () =>
          page.evaluate(() =>
            !document.getElementById('Message').open || document.getElementById('MessageText').firstChild !== window.vltAnswered
              ? true
              : undefined,
          ),
        'the dialog to close',
      );
    },
    boxes: () =>
      page.evaluate(() => ({
        ...Object.fromEntries(['Text1', 'Text2', 'Text3', 'Text5', 'Text6'].map((id) => [id, document.getElementById(id).value])),
        progress: document.getElementById('ProgressBar1').value,
      })),
    // The bytes saved under that name: the file the save picker gave, or the download.
    async saved(name) {
      if (!picker) return browser.download(name);
      const base64 = await page.evaluate(async (name) => {
        const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('picked');
        const bytes = new Uint8Array(await (await (await folder.getFileHandle(name)).getFile()).arrayBuffer());
        let text = '';
        for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
        return btoa(text);
      }, name);
      return Buffer.from(base64, 'base64');
    },
    // Outputs saved since the case began, or files left at a picked name.
    async outputs() {
      if (!picker) return browser.downloadCount() - downloadsBefore;
      return page.evaluate(async () => {
        let count = 0;
        try {
          const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('picked');
          // An empty file counts: the picker created it, and a run that saved nothing removes it.
          for await (const handle of folder.values()) count += handle.kind === 'file' ? 1 : 0;
        } catch {
          // No file was ever picked.
        }
        return count;
      });
    },
    vlt(operation, input, key, codePage, extra) {
      const result = runVlt(operation, input, key, codePage, extra);
      if (result.status !== 0) throw new Error(`vlt ${operation} failed: ${result.stderr}`);
      return result.stdout;
    },
    vltError(operation, input, key, codePage, extra) {
      const result = runVlt(operation, input, key, codePage, extra);
      if (result.status === 0) throw new Error(`vlt ${operation} did not fail`);
      return result.stderr.toString().trim();
    },
  };
  return h;
}

async function main() {
  for (const [path, what] of [[join(siteDir, 'index.html'), 'the site'], [join(modules, 'playwright-core'), 'the drivers']]) {
    if (!existsSync(path)) {
      console.error(`${path} is missing: ./dev.sh web builds ${what}`);
      process.exit(1);
    }
  }
  const site = await serveSite(resolve(siteDir), 0);
  const other = await otherOrigin();
  const bigFile = join(work, 'big.bin');
  writeFileSync(bigFile, '');
  // Sparse, and large enough that no run ends before the case stops it.
  truncateSync(bigFile, 1 << 30);
  const browsers = new Map();
  const browserFor = async (language = 'en-US') => {
    if (!browsers.has(language)) browsers.set(language, await launch(configuration, { modules, language }));
    return browsers.get(language);
  };
  let failed = 0;
  try {
    for (const testCase of cases) {
      const started = Date.now();
      try {
        const browser = await browserFor(testCase.language);
        const h = harness(browser, bigFile, other);
        if (testCase.offline) {
          // A site of its own, gone once the page has been visited.
          const own = await serveSite(resolve(siteDir), 0);
          await h.open(own.url);
          await until(() => browser.page.evaluate(() => (navigator.serviceWorker.controller ? true : undefined)), 'the service worker');
          await new Promise((done) => own.server.close(done));
          own.server.closeAllConnections?.();
          await browser.page.reload();
          await pageReady(browser.page, 'the page offline');
        } else {
          await h.open(site.url);
        }
        await testCase.run(h);
        console.log(`ok    ${configuration}: ${testCase.name} (${Date.now() - started} ms)`);
      } catch (error) {
        failed++;
        console.log(`FAIL  ${configuration}: ${testCase.name}\n${error.stack ?? error}`);
      }
    }
  } finally {
    for (const browser of browsers.values()) await browser.close();
    site.server.close();
    other.server.close();
    rmSync(work, { recursive: true, force: true });
  }
  console.log(`${cases.length - failed} of ${cases.length} cases passed in ${configuration}`);
  process.exit(failed === 0 ? 0 : 1);
}

if (process.argv[1] === fileURLToPath(import.meta.url)) await main();
