// The two browsers the page is tested in, behind one small interface: Debian's Chromium
// through playwright-core, Debian's Firefox ESR through puppeteer-core over WebDriver BiDi.
// Both start from their executable paths with a fresh profile on disk; nothing is
// downloaded. Outputs are what the user would get: the file the save picker gave (in
// Chromium a file of the origin's private storage stands in for the picker's choice: the
// picker itself is the system's dialog), or the browser's real download.

import { existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const kChromium = '/usr/bin/chromium';
const kFirefox = '/usr/bin/firefox-esr';

export const kConfigurations = {
  // Chromium with its save picker: the output streams into the chosen file.
  'chromium-picker': { browser: 'chromium', picker: true },
  // Chromium as a browser without it: private storage, then a download.
  'chromium-download': { browser: 'chromium', picker: false },
  // Firefox has no save picker: private storage, then its real download.
  firefox: { browser: 'firefox', picker: false },
};

// Stands in for the save dialog: the "chosen" file is one of the origin's private
// storage, named as the page suggested; window.vltPicker.cancel makes it a cancel.
function pickerStandIn() {
  window.vltPicker = { suggested: [], cancel: false };
  window.showSaveFilePicker = async ({ suggestedName }) => {
    window.vltPicker.suggested.push(suggestedName);
    if (window.vltPicker.cancel) throw new DOMException('cancelled', 'AbortError');
    const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('picked', { create: true });
    return folder.getFileHandle(suggestedName, { create: true });
  };
}

function withoutPicker() {
  delete window.showSaveFilePicker;
}

const wait = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls `check` until it returns something other than undefined.
export async function until(check, what, timeoutMs = 20_000) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const value = await check();
    if (value !== undefined) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await wait(50);
  }
}

// Until the page has started its core and is ready for a user.
export const pageReady = (page, what = 'the page') =>
  until(() => page.evaluate(() => document.documentElement.dataset.ready || undefined), what);

// Chooses `file` on the encryption's side and types `key`, as a user would before
// "Encrypt file"; returns once the page has proposed the output's name.
export async function chooseToEncrypt(page, file, key) {
  await page.setFiles('#Browse1', file);
  await until(() => page.evaluate(() => document.getElementById('Text2').value || undefined), 'the output name');
  await page.evaluate((key) => {
    document.getElementById('Text3').value = key;
  }, key);
}

// Starts the browser of a configuration; `language` is the browser's language.
// A profile and a download folder of the caller's are removed at the close as well.
export async function launch(configurationName, { modules, language = 'en-US', profile, downloads }) {
  const configuration = kConfigurations[configurationName];
  const require = createRequire(join(modules, 'index.js'));
  profile = profile ?? mkdtempSync(join(tmpdir(), 'vlt-web-profile-'));
  downloads = downloads ?? mkdtempSync(join(tmpdir(), 'vlt-web-downloads-'));
  mkdirSync(downloads, { recursive: true });
  const browser =
    configuration.browser === 'chromium'
      ? await launchChromium(require('playwright-core'), profile, downloads, language, configuration.picker)
      : await launchFirefox(require('puppeteer-core'), profile, downloads, language);
  return {
    ...browser,
    configuration,
    async close() {
      await browser.closeBrowser();
      rmSync(profile, { recursive: true, force: true });
      rmSync(downloads, { recursive: true, force: true });
    },
  };
}

async function launchChromium(playwright, profile, downloads, language, picker) {
  const context = await playwright.chromium.launchPersistentContext(profile, {
    executablePath: kChromium,
    headless: true,
    locale: language,
    acceptDownloads: true,
    downloadsPath: downloads,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--no-first-run',
      `--lang=${language}`,
    ],
  });
  await context.addInitScript(picker ? pickerStandIn : withoutPicker);
  const saved = [];
  context.on('download', (download) => saved.push(download));
  const page = context.pages()[0] ?? (await context.newPage());
  return {
    page: pageOf(page, {
      evaluate: (fn, arg) => page.evaluate(fn, arg),
      setFiles: (selector, path) => page.setInputFiles(selector, path),
      screenshot: (selector, path) => page.locator(selector).screenshot({ path }),
    }),
    // The download of that name, once complete.
    async download(name) {
      const download = await until(() => saved.find((d) => d.suggestedFilename() === name), `download ${name}`);
      return readFileSync(await download.path());
    },
    downloadCount: () => saved.length,
    setOffline: (offline) => context.setOffline(offline),
    closeBrowser: () => context.close(),
  };
}

async function launchFirefox(puppeteer, profile, downloads, language) {
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: kFirefox,
    protocol: 'webDriverBiDi',
    headless: true,
    userDataDir: profile,
    extraPrefsFirefox: {
      'intl.accept_languages': language,
      'browser.download.dir': downloads,
      'browser.download.folderList': 2,
      'browser.download.useDownloadDir': true,
      'browser.download.always_ask_before_handling_new_types': false,
      'browser.download.start_downloads_in_tmp_dir': false,
      'browser.download.panel.shown': true,
      'browser.download.alwaysOpenPanel': false,
    },
  });
  const page = (await browser.pages())[0] ?? (await browser.newPage());
  return {
    page: pageOf(page, {
      evaluate: (fn, arg) => page.evaluate(fn, arg),
      setFiles: async (selector, path) => (await page.$(selector)).uploadFile(path),
      screenshot: async (selector, path) => (await page.$(selector)).screenshot({ path }),
    }),
    // The file Firefox saved under that name, once it is whole. Firefox creates the name
    // empty, writes NAME.<random>.EXT.part beside it and renames that over the name at
    // the end: done when the .part seen before is gone, or the name has content and no
    // .part is there.
    async downloadPath(name, timeoutMs) {
      const path = join(downloads, name);
      let sawPart = false;
      await until(
        () => {
          if (readdirSync(downloads).some((each) => each.endsWith('.part'))) {
            sawPart = true;
            return undefined;
          }
          return existsSync(path) && (sawPart || statSync(path).size > 0) ? true : undefined;
        },
        `download ${name}`,
        timeoutMs,
      );
      return path;
    },
    async download(name) {
      return readFileSync(await this.downloadPath(name));
    },
    downloadCount: () => readdirSync(downloads).filter((name) => !name.endsWith('.part')).length,
    setOffline: null,
    closeBrowser: () => browser.close(),
  };
}

// What the cases do with a page, the same in both drivers.
function pageOf(page, { evaluate, setFiles, screenshot }) {
  return {
    goto: (url) => page.goto(url),
    reload: () => page.reload(),
    evaluate,
    setFiles,
    screenshot,
    click: (selector) => page.click(selector),
  };
}
