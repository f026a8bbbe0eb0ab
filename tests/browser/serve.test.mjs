// seqfx serve's page in a real browser (the system's chromium): pick a
// module, move its widgets, upload pictures, and check that the copied
// command renders the very bytes the page shows.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { chromium } from 'playwright-core';

const seqfx = resolve(process.env.SEQFX || '../../build/bin/seqfx');
const work = mkdtempSync(join(tmpdir(), 'seqfx-browser-'));
let server, url, context, page;

// A 16x8 PNG of one colour, made by the program itself from the scene.
function pngFile(name) {
  const out = join(work, name);
  execFileSync(seqfx, ['render', 'tintfill', '-i', sceneFile(), '-o', out]);
  return out;
}
let scene;
function sceneFile() {
  if (!scene) {
    scene = join(work, 'flat.ppm');
    const header = Buffer.from('P6\n16 8\n255\n');
    const body = Buffer.alloc(16 * 8 * 3, 0);
    for (let i = 0; i < body.length; i += 3) { body[i] = 30; body[i + 1] = 160; body[i + 2] = 90; }
    writeFileSync(scene, Buffer.concat([header, body]));
  }
  return scene;
}

async function previewChange(previous) {
  await page.waitForFunction((prev) => {
    const src = document.getElementById('preview').getAttribute('src');
    return src && src !== prev && !document.body.classList.contains('busy');
  }, previous, { timeout: 30000 });
  return page.getAttribute('#preview', 'src');
}

before(async () => {
  server = spawn(seqfx, ['serve', '--port', '0', work], { stdio: ['ignore', 'pipe', 'inherit'] });
  url = await new Promise((ok, fail) => {
    server.stdout.on('data', (d) => {
      const m = /http:\/\/[0-9.]+:[0-9]+\//.exec(String(d));
      if (m) ok(m[0]);
    });
    server.on('exit', (code) => fail(new Error('seqfx serve ended with ' + code)));
  });
  context = await chromium.launchPersistentContext(join(work, 'profile'), {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--no-proxy-server'],
  });
  page = context.pages()[0] || await context.newPage();
  await page.goto(url);
});

after(async () => {
  if (context) await context.close();
  if (server) server.kill('SIGTERM');
  rmSync(work, { recursive: true, force: true });
});

test('widgets from the table drive the preview', async () => {
  await page.click('#modules button[data-module="glow"]');
  let src = await previewChange(null);
  // Label rows are headings, tips are tooltips.
  assert.ok(await page.locator('#params h3').count() >= 1);
  assert.equal(await page.getAttribute('#params .param[data-name="Threshold"]', 'title'), 'Trigger Intensity');

  await page.fill('#params .param[data-name="Threshold"] input[type=number]', '0.1');
  await page.press('#params .param[data-name="Threshold"] input[type=number]', 'Enter');
  src = await previewChange(src);

  await page.check('#params .param[data-name="Only Boost"] input[type=checkbox]');
  src = await previewChange(src);

  // Factors reach the render (glow itself ignores them).
  await page.fill('#factor0', '0.8');
  await page.waitForFunction(() => document.getElementById('command').value.includes('--factor 0.8 --factor1 0.8'));

  await page.click('#modules button[data-module="tintfill"]');
  src = await previewChange(src);
  // The slider's label keeps its trailing blank.
  assert.equal(await page.textContent('#params .param[data-name="Red"] .label'), 'Red ');
  await page.fill('#params .param[data-name="Red"] input[type=range]', '0.9');
  src = await previewChange(src);
});

test('a colour widget changes the picture', async () => {
  await page.click('#modules button[data-module="beamsword"]');
  let src = await previewChange(await page.getAttribute('#preview', 'src'));
  await page.fill('#params .param[data-name="color"] input[type=color]', '#ff2000');
  src = await previewChange(src);
});

test('uploads: a picture becomes a strip, a bad one is refused', async () => {
  await page.click('#modules button[data-module="tintfill"]');
  let src = await previewChange(await page.getAttribute('#preview', 'src'));
  const bad = join(work, 'notes.png');
  writeFileSync(bad, 'not a picture');
  await page.setInputFiles('#upload1', bad);
  await page.waitForSelector('#error:not([hidden])');
  assert.match(await page.textContent('#error'), /refused.*not a PNG or JPEG/);

  await page.setInputFiles('#upload1', pngFile('green.png'));
  src = await previewChange(src);
  assert.match(await page.inputValue('#strip1'), /^upload:/);
  assert.equal(await page.isHidden('#error'), true);
});

test('the copied command renders the same bytes', async () => {
  await page.fill('#params .param[data-name="Red"] input[type=range]', '0.25');
  await previewChange(await page.getAttribute('#preview', 'src'));
  await page.click('#copy');
  const command = await page.inputValue('#command');
  assert.match(command, /^seqfx .*render tintfill .*--factor 0\.8 .*--set Red=0\.25/);
  const src = await page.getAttribute('#preview', 'src');
  const shown = Buffer.from(src.replace(/^data:image\/png;base64,/, ''), 'base64');
  execFileSync('sh', ['-c', `cd '${work}' && '${seqfx}'${command.slice(5)}`]);
  assert.deepEqual(readFileSync(join(work, 'preview.png')), shown);
});
