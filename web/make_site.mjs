// Writes the static site: the page built from the window's control table and texts
// (page_tables.json, printed from app/form by page_tables), the page's own scripts and
// styles, the WebAssembly core, and the service worker with the list of files it keeps.
//
//   node make_site.mjs TABLES_JSON SITE_SOURCES CORE_DIR ICON OUT_DIR

import { createHash } from 'node:crypto';
import { mkdirSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

import { metaContentSecurityPolicy } from './site_policy.mjs';

const [tablesPath, sourceDir, coreDir, iconPath, outDir] = process.argv.slice(2);
const tables = JSON.parse(readFileSync(tablesPath, 'utf8'));
const { texts } = tables;

const escape = (text) =>
  text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');

// The controls in tab order, which is the order of the page's elements.
function controlHtml(control) {
  const side = control.dropSide ? ` data-drop="${control.dropSide}"` : '';
  switch (control.kind) {
    case 'button':
      return `<button type="button" id="${control.name}"${side}>${escape(control.caption)}</button>`;
    case 'label':
      return control.names
        ? `<label id="${control.name}" for="${control.names}">${escape(control.caption)}</label>`
        : `<p id="${control.name}">${escape(control.caption)}</p>`;
    case 'textbox':
      return `<input type="text" id="${control.name}"${side} autocomplete="off" spellcheck="false">`;
    case 'progressbar':
      return `<progress id="${control.name}" max="100" value="0" aria-label="${escape(texts.progressName)}"></progress>`;
  }
  throw new Error(`unknown kind of control: ${control.kind}`);
}

// The page's own controls go right after the box they serve.
const pageControls = {
  Text3: [
    '<label id="CodePageLabel" for="CodePage">Code page of the key</label>',
    '<select id="CodePage"></select>',
  ],
  Command2: ['<button type="button" id="Stop" hidden>Stop</button>'],
};

const controlLines = tables.controls.flatMap((control) => [controlHtml(control), ...(pageControls[control.name] ?? [])]);

const html = `<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="${metaContentSecurityPolicy}">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="referrer" content="no-referrer">
<title>${escape(texts.windowTitle)}</title>
<link rel="icon" href="icon.svg">
<link rel="stylesheet" href="page.css">
<link rel="stylesheet" href="layout.css">
<script type="module" src="page.js"></script>
</head>
<body>
<main id="Form1" aria-label="${escape(texts.windowTitle)}">
${controlLines.join('\n')}
<input type="file" id="Browse1" hidden>
<input type="file" id="Browse2" accept=".vlt" hidden>
</main>
<dialog id="Message" aria-labelledby="MessageTitle" aria-describedby="MessageText">
<h2 id="MessageTitle">${escape(texts.messageTitle)}</h2>
<p id="MessageText"></p>
<div class="answers">
<button type="button" id="MessageOk" value="ok">OK</button>
<button type="button" id="MessageYes" value="yes">Yes</button>
<button type="button" id="MessageNo" value="no">No</button>
</div>
</dialog>
</body>
</html>
`;

// Places in pixels from the table's twips. On a screen narrower than the window the
// controls stack in the order they are seen: by row (a label sits a little below its box's
// top), then from left to right; page.css places the page's own controls among them.
const px = (twips) => `${Math.round(twips / tables.twipsPerPixel)}px`;
const row = (control) => Math.round(control.top / 240);
const byPlace = [...tables.controls].sort((a, b) => row(a) - row(b) || a.left - b.left);
const order = (control) => row(control) * 10 + byPlace.filter((c) => row(c) === row(control)).indexOf(control);
const browseFont = tables.browseFont;
const layoutCss = [
  `#Form1 { width: ${px(tables.clientWidth)}; height: ${px(tables.clientHeight)}; }`,
  ...tables.controls.map(
    (c) => `#${c.name} { left: ${px(c.left)}; top: ${px(c.top)}; width: ${px(c.width)}; height: ${px(c.height)}; }`,
  ),
  `${tables.controls.filter((c) => c.browseFont).map((c) => `#${c.name}`).join(', ')} {` +
    ` font-family: "${browseFont.family}", sans-serif; font-size: ${browseFont.points}pt;` +
    ` font-weight: ${browseFont.bold ? 700 : 400}; }`,
  '@media (max-width: 740px) {',
  ...tables.controls.map((c) => `  #${c.name} { order: ${order(c)}; width: auto; height: auto; }`),
  '}',
  '',
].join('\n');

rmSync(outDir, { recursive: true, force: true });
mkdirSync(outDir, { recursive: true });
const written = new Map();
const put = (name, content) => {
  writeFileSync(join(outDir, name), content);
  written.set(name, content);
};
put('index.html', html);
put('layout.css', layoutCss);
put('texts.js', `// Generated from app/form/messages.h and form1_layout.h.\nexport const texts = ${JSON.stringify(texts, null, 2)};\n`);
for (const name of readdirSync(sourceDir)) {
  if (name !== 'sw.js') put(name, readFileSync(join(sourceDir, name)));
}
for (const name of ['vlt_core.mjs', 'vlt_core.wasm']) put(name, readFileSync(join(coreDir, name)));
put('icon.svg', readFileSync(iconPath));

// The service worker keeps every other file under a name that changes with any of them.
const hash = createHash('sha256');
for (const [name, content] of [...written].sort()) hash.update(name).update(content);
const files = ['./', ...[...written.keys()].sort()];
const worker = readFileSync(join(sourceDir, 'sw.js'), 'utf8')
  .replace('@VERSION@', hash.digest('hex').slice(0, 16))
  .replace('@FILES@', JSON.stringify(files));
writeFileSync(join(outDir, 'sw.js'), worker);
