// The window's rules on the page: the checks of the two run buttons in their order, the
// "..." buttons and drops that fill a side, the messages and the wrong-key question, and
// a run's life until the page is back at its start. The runs and the rules that have a
// home in the C++ core (names, code pages) are the worker's.

import { texts } from './texts.js';

const $ = (id) => document.getElementById(id);
const box = {
  key: $('Text3'),
  encryptInput: $('Text1'),
  encryptOutput: $('Text2'),
  decryptInput: $('Text6'),
  decryptOutput: $('Text5'),
};
const sides = {
  encrypt: { input: box.encryptInput, output: box.encryptOutput, chooser: $('Browse1'), file: null },
  decrypt: { input: box.decryptInput, output: box.decryptOutput, chooser: $('Browse2'), file: null },
};
const bar = $('ProgressBar1');
const codePageChoice = $('CodePage');
const stopButton = $('Stop');

// The worker, asked with a promise per question; progress comes on its own.
const worker = new Worker('worker.js', { type: 'module' });
const waiting = new Map();
let nextId = 1;
worker.onmessage = ({ data }) => {
  if (data.type === 'progress') {
    bar.value = data.percent;
    return;
  }
  const { resolve, reject } = waiting.get(data.id);
  waiting.delete(data.id);
  if ('error' in data) reject(new Error(data.error));
  else resolve(data.result);
};
function ask(type, fields = {}) {
  const id = nextId++;
  return new Promise((resolve, reject) => {
    waiting.set(id, { resolve, reject });
    worker.postMessage({ id, type, ...fields });
  });
}

// The POSIX locale name the core derives a code page from, for a browser language tag:
// the script of Serbian, Uzbek and Chinese decides as a locale's modifier or territory does.
function localeOfLanguage(tag) {
  let locale;
  try {
    locale = new Intl.Locale(tag);
  } catch {
    return 'C';
  }
  const script = locale.script?.toLowerCase();
  let region = locale.region ?? '';
  if (locale.language === 'zh' && script === 'hant' && !region) region = 'TW';
  const modifier = script === 'latn' ? '@latin' : script === 'cyrl' ? '@cyrillic' : '';
  return `${locale.language}${region ? `_${region}` : ''}${modifier}`;
}

// Messages and questions in the page's own dialog; each resolves when it is closed.
const dialog = $('Message');
const answers = { ok: $('MessageOk'), yes: $('MessageYes'), no: $('MessageNo') };
for (const button of Object.values(answers)) button.addEventListener('click', () => dialog.close(button.value));
function showDialog(text, shown, focused, error = false) {
  for (const [name, button] of Object.entries(answers)) button.hidden = !shown.includes(name);
  $('MessageText').textContent = text;
  dialog.classList.toggle('error', error);
  dialog.returnValue = '';
  dialog.showModal();
  answers[focused].focus();
  return new Promise((resolve) => dialog.addEventListener('close', () => resolve(dialog.returnValue), { once: true }));
}
const inform = (text) => showDialog(text, ['ok'], 'ok');
const showError = (text) => showDialog(text, ['ok'], 'ok', true);
// Yes and No, No the default; Esc is No.
const askYesNo = async (text) => (await showDialog(text, ['yes', 'no'], 'no')) === 'yes';

let defaultCodePage = 1252;
let running = false;

async function setUp() {
  const { codePages, codePage } = await ask('setup', { locale: localeOfLanguage(navigator.language) });
  for (const each of codePages) codePageChoice.add(new Option(`Windows-${each}`, String(each)));
  defaultCodePage = codePage;
  codePageChoice.value = String(codePage);
  document.documentElement.dataset.ready = 'true';
}

// The page as at its start: boxes empty, bar at 0, no file chosen.
function freshStart() {
  for (const each of Object.values(box)) each.value = '';
  for (const side of Object.values(sides)) {
    side.file = null;
    side.chooser.value = '';
  }
  bar.value = 0;
  codePageChoice.value = String(defaultCodePage);
}

// Both boxes at once: the output's name comes from the core's naming rules.
async function fill(sideName, file) {
  const side = sides[sideName];
  const output = await ask(sideName === 'encrypt' ? 'encryptedName' : 'decryptedName', { name: file.name });
  side.file = file;
  side.input.value = file.name;
  // A name too short to lose four characters leaves the decryption's output as it was.
  if (output !== null) side.output.value = output;
}

// The input boxes show the file chosen for the side; a page can open no file by a name
// typed, so they take a file only from "..." or a drop.
for (const [name, side] of Object.entries(sides)) {
  side.input.readOnly = true;
  side.chooser.addEventListener('change', () => {
    if (side.chooser.files.length === 1) fill(name, side.chooser.files[0]);
  });
}
const browse = (sideName) => sides[sideName].chooser.click();
$('Command3').addEventListener('click', () => browse('encrypt'));
$('Command4').addEventListener('click', () => browse('decrypt'));

// A file dropped onto a side's boxes or "..." fills that side as its "..." does.
for (const target of document.querySelectorAll('[data-drop]')) {
  target.addEventListener('dragover', (event) => {
    event.preventDefault();
    target.classList.add('dropping');
  });
  target.addEventListener('dragleave', () => target.classList.remove('dropping'));
  target.addEventListener('drop', (event) => {
    event.preventDefault();
    event.stopPropagation();
    target.classList.remove('dropping');
    const { files, items } = event.dataTransfer;
    const folder = items?.[0]?.webkitGetAsEntry?.()?.isDirectory;
    if (files.length !== 1 || folder) inform(texts.dropOneFile);
    else fill(target.dataset.drop, files[0]);
  });
}
// A file dropped anywhere else is not opened by the browser in place of the page.
for (const type of ['dragover', 'drop']) document.addEventListener(type, (event) => event.preventDefault());

$('Command1').addEventListener('click', async () => {
  if (running) return;
  if (!box.encryptInput.value) {
    await inform(texts.enterFileName);
    browse('encrypt');
    return;
  }
  if (!box.key.value) return inform(texts.enterKey);
  if (!box.encryptOutput.value) return inform(texts.enterOutputName);
  startRun('encrypt', sides.encrypt.file, box.encryptOutput.value);
});

$('Command2').addEventListener('click', async () => {
  if (running) return;
  if (!box.key.value) return inform(texts.enterKey);
  if (!box.decryptInput.value) return inform(texts.enterDecryptName);
  if (!box.decryptOutput.value) return inform(texts.enterDecryptOutputName);
  startRun('decrypt', sides.decrypt.file, box.decryptOutput.value);
});

stopButton.addEventListener('click', () => worker.postMessage({ type: 'stop' }));

// Where the browser lets the page write a file chosen by the user, the output streams into
// it; elsewhere it goes to the origin's private storage and is downloaded from there.
async function saveTarget(name) {
  if (!('showSaveFilePicker' in window)) return { kind: 'storage' };
  try {
    return { kind: 'picker', handle: await window.showSaveFilePicker({ suggestedName: name }) };
  } catch (error) {
    if (error.name === 'AbortError') return null;
    throw error;
  }
}

// A run that saved nothing leaves no file behind: the save picker creates the chosen file
// empty, and an aborted write leaves it so (a file that was there keeps its content).
async function discard(sink) {
  if (sink.kind !== 'picker') return;
  try {
    if ((await sink.handle.getFile()).size === 0) await sink.handle.remove?.();
  } catch {
    // Gone already, or not ours to look at.
  }
}

// Saved under the output box's name as it is: a typed Blob keeps a browser from adding an
// extension it guesses from the content.
function download(file, name) {
  const url = URL.createObjectURL(new Blob([file], { type: 'application/octet-stream' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  link.click();
  // The download has its own reference by the time the page is used again.
  setTimeout(() => URL.revokeObjectURL(url), 60_000);
}

async function startRun(operation, file, outputName) {
  const request = { operation, file, key: box.key.value, codePage: Number(codePageChoice.value) };
  const failed = operation === 'encrypt' ? texts.encryptFailed : texts.decryptFailed;
  let sink;
  try {
    // Asked first: the save picker needs the click that started the run.
    sink = await saveTarget(outputName);
  } catch (error) {
    return showError(failed + error.message);
  }
  if (!sink) return;
  running = true;
  stopButton.hidden = false;
  bar.value = 0;
  try {
    for (let writeOnWrongKey = false; ; writeOnWrongKey = true) {
      const outcome = await ask('run', { ...request, sink, writeOnWrongKey });
      if (outcome.status === 'finished') {
        bar.value = 100;
        if (outcome.output) download(outcome.output, outputName);
        stopButton.hidden = true;
        await inform(operation === 'encrypt' ? texts.encryptFinished : texts.decryptFinished);
        freshStart();
        return;
      }
      bar.value = 0;
      stopButton.hidden = true;
      if (outcome.status === 'wrongKey' && (await askYesNo(texts.wrongKeyQuestion))) {
        stopButton.hidden = false;
        continue;
      }
      await discard(sink);
      if (outcome.status === 'failed' || outcome.status === 'damaged') await showError(failed + outcome.message);
      return;
    }
  } finally {
    running = false;
    stopButton.hidden = true;
  }
}

if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js');
// Without its core (a browser without WebAssembly SIMD or module workers) the page says so.
setUp().catch((error) => showError(error.message));
