// Takes the README's picture of the page in headless Chromium: a file chosen on the
// encryption's side and a key typed, as a user would have them before "Encrypt file".
//
//   node tools/web_screenshot.mjs build/web/site build/web/npm/node_modules docs/screenshot-web.png

import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';

import { chooseToEncrypt, launch, pageReady } from '../tests/web/browsers.mjs';
import { serveSite } from '../web/serve.mjs';

const [siteDir, modules, output] = process.argv.slice(2).map((arg) => resolve(arg));
const folder = mkdtempSync(join(tmpdir(), 'vlt-web-screenshot-'));
const file = join(folder, 'report.doc');
writeFileSync(file, 'quarterly figures\n');
const site = await serveSite(siteDir, 0);
const browser = await launch('chromium-picker', { modules });
try {
  const { page } = browser;
  await page.goto(site.url);
  await pageReady(page);
  await chooseToEncrypt(page, file, 'Spring 2026');
  await page.screenshot('#Form1', output);
} finally {
  await browser.close();
  site.server.close();
  rmSync(folder, { recursive: true, force: true });
}
