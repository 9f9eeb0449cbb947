// The page's cases, one table run in every browser configuration (browsers.mjs). Each
// case gets a freshly opened page and `h` (page_test.mjs): the page's controls, its
// dialog, the output it saved, and the native `vlt` for the expected bytes.

import assert from 'node:assert/strict';

// Every byte value, then a stretch of text: the cipher sees all 256 triples.
const kAllBytes = Buffer.concat([Buffer.from(Array.from({ length: 256 }, (_, i) => i)), Buffer.from('Veltrimax\n'.repeat(40))]);

export const cases = [
  {
    name: 'the window controls in tab order, each box named by its label',
    async run(h) {
      const page = await h.evaluate(() => {
        const focusable = [...document.querySelectorAll('#Form1 > input:not([type=file]), #Form1 > button, #Form1 > progress')];
        return {
          title: document.title,
          order: focusable.filter((e) => !e.hidden && e.id !== 'CodePage').map((e) => e.id),
          labels: Object.fromEntries([...document.querySelectorAll('#Form1 > input[type=text]')].map((e) => [e.id, e.labels[0]?.textContent])),
          buttons: Object.fromEntries([...document.querySelectorAll('#Form1 > button:not([hidden])')].map((e) => [e.id, e.textContent])),
          progress: [document.getElementById('ProgressBar1').getAttribute('aria-label'), document.getElementById('ProgressBar1').value],
          contact: document.getElementById('Label4').textContent,
          codePageLabel: document.getElementById('CodePage').labels[0].textContent,
        };
      });
      assert.equal(page.title, 'Veltrimax Encrypt and decrypt file');
      assert.deepEqual(page.order, ['Command1', 'Text1', 'Command3', 'Text2', 'ProgressBar1', 'Text3', 'Text5', 'Command4', 'Text6', 'Command2']);
      assert.deepEqual(page.labels, {
        Text1: 'File for encrypt', Text2: 'Output file name', Text3: 'Primary key', Text5: 'Output file name', Text6: 'File for decrypt',
      });
      assert.deepEqual(page.buttons, { Command1: 'Encrypt file', Command3: '...', Command4: '...', Command2: 'Decrypt file' });
      assert.deepEqual(page.progress, ['Progress', 0]);
      assert.match(page.contact, /^Veltrimax for the browser - /);
      assert.equal(page.codePageLabel, 'Code page of the key');
    },
  },
  {
    name: 'encrypt: the native bytes, the proposed name, then the page as at its start',
    async run(h) {
      await h.drop('Command3', 'report.doc', kAllBytes);
      assert.equal(await h.value('Text1'), 'report.doc');
      assert.equal(await h.value('Text2'), 'report.doc.vlt');
      await h.type('Text3', 'Geheim ü 2');
      await h.click('Command1');
      assert.deepEqual(await h.message(), { text: 'Encrypt is finish', answers: ['ok'], focused: 'ok' });
      assert.deepEqual(await h.saved('report.doc.vlt'), h.vlt('encrypt', kAllBytes, 'Geheim ü 2', 1252));
      await h.answer('ok');
      // The dialog's close event, which the page waits for, comes a moment after it closed.
      const fresh = await h.until(async () => {
        const boxes = await h.boxes();
        return boxes.Text1 === '' ? boxes : undefined;
      }, 'the page as at its start');
      assert.deepEqual(fresh, { Text1: '', Text2: '', Text3: '', Text5: '', Text6: '', progress: 0 });
    },
  },
  {
    name: 'decrypt: a native .vlt file chosen with "..." back to its bytes, under its name less four characters',
    async run(h) {
      await h.choose('Browse2', 'notes.txt.vlt', h.vlt('encrypt', kAllBytes, 'k', 1252));
      assert.equal(await h.value('Text5'), 'notes.txt');
      await h.type('Text3', 'k');
      await h.click('Command2');
      assert.equal((await h.message()).text, 'Decrypt is finish');
      assert.deepEqual(await h.saved('notes.txt'), kAllBytes);
    },
  },
  {
    name: 'a .vlt file of several slices, read ahead of their turn, decrypts to its bytes',
    async run(h) {
      // Three slices of the .vlt file as the worker reads it, the last one short.
      const plain = Buffer.alloc((9 << 20) + 5);
      for (let i = 0; i < plain.length; i++) plain[i] = (i * 131 + (i >> 12)) & 0xff;
      await h.choose('Browse2', 'slices.bin.vlt', h.vlt('encrypt', plain, 'k', 1252));
      await h.type('Text3', 'k');
      await h.click('Command2');
      assert.equal((await h.message()).text, 'Decrypt is finish');
      assert.ok((await h.saved('slices.bin')).equals(plain), 'the saved bytes equal the file encrypted');
    },
  },
  {
    name: 'an empty file encrypts into the native 4 bytes and decrypts back to nothing',
    async run(h) {
      await h.drop('Text1', 'empty', Buffer.alloc(0));
      await h.type('Text3', 'x');
      await h.click('Command1');
      assert.equal((await h.message()).text, 'Encrypt is finish');
      assert.deepEqual(await h.saved('empty.vlt'), h.vlt('encrypt', Buffer.alloc(0), 'x', 1252));
    },
  },
  {
    name: 'the checks in their order, each with its message; an empty encrypt side opens the chooser',
    async run(h) {
      const steps = [
        ['Command1', 'Please enter file name'],
        ['Command2', 'Please enter primary key'],
      ];
      await h.evaluate(() => {
        window.vltChooserOpened = 0;
        document.getElementById('Browse1').addEventListener('click', () => window.vltChooserOpened++);
      });
      for (const [button, text] of steps) {
        await h.click(button);
        assert.equal((await h.message()).text, text);
        await h.answer('ok');
      }
      assert.equal(await h.evaluate(() => window.vltChooserOpened), 1);
      await h.drop('Text1', 'a.bin', Buffer.from('a'));
      await h.click('Command1');
      assert.equal((await h.message()).text, 'Please enter primary key');
      await h.answer('ok');
      await h.type('Text3', 'k');
      await h.type('Text2', '');
      await h.click('Command1');
      assert.equal((await h.message()).text, 'Please enter output file name');
      await h.answer('ok');
      await h.click('Command2');
      assert.equal((await h.message()).text, 'Please enter file name for decrypt');
      await h.answer('ok');
      await h.drop('Text6', 'a.bin.vlt', h.vlt('encrypt', Buffer.from('a'), 'k', 1252));
      await h.type('Text5', '');
      await h.click('Command2');
      assert.equal((await h.message()).text, 'Please enter output file name for decrypt');
      await h.answer('ok');
      await h.drop('Command4', 'pair', Buffer.from('1'), { count: 2 });
      assert.equal((await h.message()).text, 'Please drop one file, not several or a folder');
      await h.answer('ok');
      assert.equal(await h.outputs(), 0);
    },
  },
  {
    name: 'a wrong key asks, No the default: No saves nothing, Yes saves what the native --no-key-check writes',
    async run(h) {
      const file = h.vlt('encrypt', kAllBytes, 'right key', 1252);
      for (const answer of ['no', 'yes']) {
        await h.drop('Text6', 'data.vlt', file);
        await h.type('Text3', 'wrong key');
        await h.click('Command2');
        assert.deepEqual(await h.message(), {
          text: 'The primary key is wrong or the file is damaged. Save the output anyway?',
          answers: ['yes', 'no'],
          focused: 'no',
        });
        await h.answer(answer);
      }
      assert.equal((await h.message()).text, 'Decrypt is finish');
      assert.deepEqual(await h.saved('data'), h.vlt('decrypt', file, 'wrong key', 1252, ['--no-key-check']));
      assert.equal(await h.outputs(), 1);
    },
  },
  {
    name: 'a damaged file is refused with the sentence vlt gives, nothing saved',
    async run(h) {
      const file = h.vlt('encrypt', kAllBytes, 'k', 1252);
      file[30] = 0x41;
      await h.drop('Text6', 'damaged.vlt', file);
      await h.type('Text3', 'k');
      await h.click('Command2');
      const { text } = await h.message();
      const sentence = h.vltError('decrypt', file, 'k', 1252).match(/: (not a Veltrimax encrypted file.*\b30\b.*\b65\b.*?); nothing was written/);
      assert.ok(sentence, 'vlt names the byte');
      assert.equal(text, `Decryption failed: damaged.vlt: ${sentence[1]}`);
      await h.answer('ok');
      assert.equal(await h.outputs(), 0);
    },
  },
  {
    name: "the key's code page from the browser's language, and another one chosen",
    language: 'pl-PL',
    async run(h) {
      assert.equal(await h.value('CodePage'), '1250');
      await h.drop('Text1', 'p.txt', kAllBytes);
      await h.type('Text3', 'zażółć');
      await h.click('Command1');
      assert.equal((await h.message()).text, 'Encrypt is finish');
      assert.deepEqual(await h.saved('p.txt.vlt'), h.vlt('encrypt', kAllBytes, 'zażółć', 1250));
      await h.answer('ok');
      await h.drop('Text1', 'r.txt', kAllBytes);
      await h.type('Text3', 'Жук');
      await h.select('CodePage', '1251');
      await h.click('Command1');
      assert.equal((await h.message()).text, 'Encrypt is finish');
      assert.deepEqual(await h.saved('r.txt.vlt'), h.vlt('encrypt', kAllBytes, 'Жук', 1251));
    },
  },
  {
    name: 'Stop ends a run at once and saves nothing; the page takes the next run',
    async run(h) {
      await h.choose('Browse1', 'big.bin', h.bigFile);
      await h.type('Text3', 'k');
      await h.click('Command1');
      await h.until(async () => ((await h.boxes()).progress > 0 ? true : undefined), 'progress');
      await h.click('Stop');
      await h.until(async () => ((await h.evaluate(() => document.getElementById('Stop').hidden)) ? true : undefined), 'the run to stop');
      assert.equal((await h.boxes()).progress, 0);
      assert.equal(await h.outputs(), 0);
      assert.equal(await h.value('Text1'), 'big.bin');
    },
  },
  {
    name: 'offline after a first visit: the page opens from its service worker and encrypts',
    offline: true,
    async run(h) {
      await h.drop('Text1', 'off.bin', kAllBytes);
      await h.type('Text3', 'offline');
      await h.click('Command1');
      assert.equal((await h.message()).text, 'Encrypt is finish');
      assert.deepEqual(await h.saved('off.bin.vlt'), h.vlt('encrypt', kAllBytes, 'offline', 1252));
    },
  },
  {
    name: 'nothing leaves the machine: a request to another origin is refused by the policy',
    async run(h) {
      const refused = await h.evaluate(async (url) => {
        try {
          await fetch(url, { mode: 'no-cors' });
          return false;
        } catch {
          return true;
        }
      }, h.otherOrigin.url);
      assert.equal(refused, true);
      assert.equal(h.otherOrigin.requests(), 0);
    },
  },
];
