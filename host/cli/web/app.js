// The preview page: builds widgets from a module's table, asks the server
// for a render whenever something changes and shows the answer.
'use strict';

const $ = (id) => document.getElementById(id);
const session = Math.random().toString(36).slice(2);
const state = { modules: [], module: null, touched: new Set(), pictures: { scene: [], pictures: [] },
                uploads: [], controller: null, timer: null, playing: false, command: '' };

async function getJSON(url) {
  const r = await fetch(url);
  const j = await r.json();
  if (!r.ok) throw new Error(j.error || r.statusText);
  return j;
}

function showError(text) {
  $('error').textContent = text || '';
  $('error').hidden = !text;
}

// ---- the module list ----
function listModules() {
  const ul = $('modules');
  const filter = $('filter').value.toLowerCase();
  ul.textContent = '';
  for (const m of state.modules) {
    const text = `${m.name} ${m.display_name || ''} ${m.description || ''}`.toLowerCase();
    if (filter && !text.includes(filter)) continue;
    const li = document.createElement('li');
    const b = document.createElement('button');
    b.dataset.module = m.name;
    b.textContent = m.display_name || m.name;
    const strips = m.error ? `cannot be loaded: ${m.error}`
      : `${m.name} · ${m.strips_needed === m.strips_accepted ? m.strips_needed : m.strips_needed + '–' + m.strips_accepted} strip(s)` +
        (m.keeps_state ? ' · keeps state' : '') + (m.needs_depth ? ' · depth' : '');
    const small = document.createElement('small');
    small.textContent = strips;
    b.appendChild(small);
    b.title = m.description || '';
    b.disabled = !!m.error;
    if (state.module && state.module.name === m.name) b.classList.add('active');
    b.addEventListener('click', () => pickModule(m.name));
    li.appendChild(b);
    ul.appendChild(li);
  }
}

// ---- strips ----
function stripOptions(select, chosen) {
  select.textContent = '';
  const add = (value, text) => {
    const o = document.createElement('option');
    o.value = value;
    o.textContent = text;
    select.appendChild(o);
  };
  for (const s of state.pictures.scene) add('scene:' + s, 'scene: ' + s);
  for (const p of state.pictures.pictures) add('picture:' + p, 'picture: ' + p);
  for (const u of state.uploads) add('upload:' + u, 'uploaded: ' + u);
  if (chosen) select.value = chosen;
}

function buildStrips(m) {
  const box = $('strips');
  box.textContent = '';
  const defaults = ['scene', 'second', 'third'];
  for (let i = 1; i <= m.strips_accepted; ++i) {
    const row = document.createElement('div');
    row.className = 'row';
    const label = document.createElement('label');
    label.textContent = i <= m.strips_needed ? `Strip ${i}` : `Strip ${i} (optional)`;
    label.htmlFor = 'strip' + i;
    const sel = document.createElement('select');
    sel.id = 'strip' + i;
    stripOptions(sel, 'scene:' + defaults[i - 1]);
    if (i > m.strips_needed) {
      const none = document.createElement('option');
      none.value = '';
      none.textContent = '(none)';
      sel.insertBefore(none, sel.firstChild);
      sel.value = '';
    }
    sel.addEventListener('change', schedule);
    const file = document.createElement('input');
    file.type = 'file';
    file.accept = 'image/png,image/jpeg';
    file.id = 'upload' + i;
    file.title = `Upload a picture for strip ${i}`;
    file.addEventListener('change', () => upload(file, sel));
    row.append(label, sel, file);
    box.appendChild(row);
  }
}

async function upload(input, select) {
  const f = input.files[0];
  if (!f) return;
  const r = await fetch('api/upload', { method: 'POST', body: f, headers: { 'Content-Type': 'application/octet-stream' } });
  const j = await r.json().catch(() => ({ error: r.statusText }));
  input.value = '';
  if (!r.ok) {
    showError(`Upload of ${f.name} refused: ${j.error}`);
    return;
  }
  state.uploads.push(j.upload);
  for (const s of document.querySelectorAll('#strips select')) {
    const keep = s.value;
    const optional = s.querySelector('option[value=""]');
    stripOptions(s, keep);
    if (optional) { s.insertBefore(optional, s.firstChild); s.value = keep; }
  }
  select.value = 'upload:' + j.upload;
  schedule();
}

// ---- widgets from the table ----
function parseColour(text) {
  const t = text.replace(/^"|"$/g, '');
  if (t.startsWith('#')) return { rgb: t.slice(0, 7), alpha: t.length >= 9 ? t.slice(7, 9) : 'ff' };
  const p = t.split(',').map(Number);
  const hex = (v) => ('0' + (v | 0).toString(16)).slice(-2);
  return { rgb: '#' + hex(p[0]) + hex(p[1]) + hex(p[2]), alpha: hex(p.length > 3 ? p[3] : 255) };
}

function unquote(text) { return text.length >= 2 && text[0] === '"' && text.endsWith('"') ? text.slice(1, -1) : text; }

function makeWidget(row) {
  const wrap = document.createElement('div');
  wrap.className = 'param';
  wrap.dataset.name = row.name;
  wrap.dataset.kind = row.kind;
  wrap.title = row.tip;
  const label = document.createElement('span');
  label.className = 'label';
  label.textContent = row.label;
  wrap.appendChild(label);
  const changed = () => { state.touched.add(row.name); schedule(); };
  const step = row.float ? Math.max((row.max - row.min) / 1000, 1e-6) : 1;
  if (row.kind === 'slider' || row.kind === 'number') {
    const num = document.createElement('input');
    num.type = 'number';
    Object.assign(num, { min: row.min, max: row.max, step: row.float ? 'any' : 1, value: row.default });
    num.title = `${row.tip} (${row.min} to ${row.max})`;
    if (row.kind === 'slider') {
      const range = document.createElement('input');
      range.type = 'range';
      Object.assign(range, { min: row.min, max: row.max, step, value: row.default });
      range.title = num.title;
      range.addEventListener('input', () => { num.value = range.value; changed(); });
      num.addEventListener('change', () => { range.value = num.value; changed(); });
      wrap.append(range, num);
    } else {
      num.addEventListener('change', changed);
      wrap.appendChild(num);
    }
    wrap.get = () => Number(num.value);
    wrap.set = (v) => { num.value = v; const r = wrap.querySelector('input[type=range]'); if (r) r.value = v; };
  } else if (row.kind === 'toggle') {
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.checked = row.default === 'on';
    box.addEventListener('change', changed);
    wrap.appendChild(box);
    wrap.get = () => box.checked;
    wrap.set = (v) => { box.checked = v === 'on'; };
  } else if (row.kind === 'tritoggle') {
    const b = document.createElement('button');
    b.type = 'button';
    b.className = 'tri';
    b.textContent = row.default;
    b.addEventListener('click', () => { b.textContent = String((Number(b.textContent) + 1) % 3); changed(); });
    wrap.appendChild(b);
    wrap.get = () => Number(b.textContent);
    wrap.set = (v) => { b.textContent = v; };
  } else if (row.kind === 'colour') {
    const c = document.createElement('input');
    c.type = 'color';
    let colour = parseColour(row.default);
    c.value = colour.rgb;
    c.addEventListener('input', changed);
    wrap.appendChild(c);
    wrap.get = () => c.value + colour.alpha;
    wrap.set = (v) => { colour = parseColour(v); c.value = colour.rgb; };
  } else if (row.kind === 'text') {
    const t = document.createElement('input');
    t.type = 'text';
    t.maxLength = row.max;
    t.value = unquote(row.default);
    t.addEventListener('change', changed);
    wrap.appendChild(t);
    wrap.get = () => t.value;
    wrap.set = (v) => { t.value = unquote(v); };
  }
  return wrap;
}

function buildParams(table) {
  const box = $('params');
  box.textContent = '';
  for (const row of table) {
    if (row.kind === 'label') {
      const h = document.createElement('h3');
      h.textContent = row.label;
      h.title = row.tip;
      box.appendChild(h);
    } else {
      box.appendChild(makeWidget(row));
    }
  }
}

async function pickModule(name) {
  showError('');
  let m;
  try {
    m = await getJSON('api/modules/' + encodeURIComponent(name));
  } catch (e) {
    showError(e.message);
    return;
  }
  state.module = m;
  state.touched = new Set();
  $('title').textContent = m.display_name + ' (' + m.name + ')';
  $('description').textContent = m.description || '';
  buildStrips(m);
  buildParams(m.table);
  listModules();
  render();
}

// ---- rendering ----
function request() {
  const values = {};
  for (const w of document.querySelectorAll('#params .param'))
    if (state.touched.has(w.dataset.name) && w.get) values[w.dataset.name] = w.get();
  const strips = [];
  for (const s of document.querySelectorAll('#strips select')) {
    if (!s.value) continue;
    const at = s.value.indexOf(':');
    strips.push({ [s.value.slice(0, at)]: s.value.slice(at + 1) });
  }
  const f0 = Number($('factor0').value);
  return { module: state.module.name, values, strips, frame: Number($('frame').value), factor0: f0,
           factor1: $('link').checked ? f0 : Number($('factor1').value), session };
}

function schedule() {
  clearTimeout(state.timer);
  state.timer = setTimeout(render, 120);
}

async function render() {
  if (!state.module) return;
  if (state.controller) state.controller.abort();
  const controller = new AbortController();
  state.controller = controller;
  document.body.classList.add('busy');
  let r, j;
  try {
    r = await fetch('api/render', { method: 'POST', body: JSON.stringify(request()), signal: controller.signal,
                                    headers: { 'Content-Type': 'application/json' } });
    j = await r.json();
  } catch (e) {
    if (controller.signal.aborted) return;
    showError('The server did not answer: ' + e.message);
    document.body.classList.remove('busy');
    return;
  }
  if (state.controller !== controller) return;  // a newer request took over
  state.controller = null;
  document.body.classList.remove('busy');
  $('console').textContent = (j.console || []).join('\n');
  if (!r.ok) {
    if (r.status !== 409) showError(j.error);
    stopPlaying();
    return;
  }
  showError('');
  $('preview').src = 'data:image/png;base64,' + j.png;
  $('preview').dataset.frame = $('frame').value;
  state.command = j.command;
  $('command').value = j.command;
  $('copy').disabled = false;
  for (const [name, v] of Object.entries(j.written || {})) {
    const w = document.querySelector(`#params .param[data-name="${CSS.escape(name)}"]`);
    if (w && w.set) w.set(v);
  }
  if (state.playing) setTimeout(nextFrame, 40);
}

function nextFrame() {
  if (!state.playing) return;
  const f = $('frame');
  f.value = Number(f.value) >= Number(f.max) ? f.min : Number(f.value) + 1;
  $('frame-out').textContent = f.value;
  render();
}

function stopPlaying() {
  state.playing = false;
  $('play').textContent = 'Play';
}

$('play').addEventListener('click', () => {
  state.playing = !state.playing;
  $('play').textContent = state.playing ? 'Pause' : 'Play';
  if (state.playing) nextFrame();
});

for (const id of ['factor0', 'factor1', 'frame'])
  $(id).addEventListener('input', () => { $(id + '-out').textContent = $(id).value; schedule(); });
$('link').addEventListener('change', schedule);
$('filter').addEventListener('input', listModules);
$('copy').addEventListener('click', async () => {
  $('command').select();
  let ok = false;
  try { await navigator.clipboard.writeText(state.command); ok = true; } catch (e) { ok = document.execCommand('copy'); }
  $('copied').textContent = ok ? 'copied' : 'select the line below and copy it';
});

(async () => {
  try {
    state.modules = await getJSON('api/modules');
    state.pictures = await getJSON('api/pictures');
  } catch (e) {
    showError('Cannot reach the server: ' + e.message);
    return;
  }
  listModules();
})();
