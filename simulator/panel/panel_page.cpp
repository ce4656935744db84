// SPDX-License-Identifier: MIT
// The panel's page, its script and its style, served from the stand-in itself.
#include "simulator/panel/panel_page.h"

namespace vqsim {

const char panel_page_html[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="panel-token" content="@TOKEN@">
<title>QUADRELV3 stand-in panel</title>
<link rel="stylesheet" href="/panel.css">
<script src="/panel.js" defer></script>
</head>
<body>
<header>
  <h1>QUADRELV3 stand-in</h1>
  <span id="connection" class="badge">connecting</span>
  <span id="message"></span>
</header>
<main>
  <section id="scanners"></section>
  <section id="timeline">
    <h2>Timeline</h2>
    <ol id="journal"></ol>
  </section>
</main>
</body>
</html>
)";

const char panel_page_style[] = R"(
body { font: 14px/1.4 system-ui, sans-serif; margin: 0; background: #f3f4f6; color: #111; }
header { display: flex; gap: 12px; align-items: center; padding: 8px 16px; background: #1f2937; color: #fff; }
h1 { font-size: 18px; margin: 0; }
main { display: grid; grid-template-columns: minmax(420px, 1fr) 380px; gap: 16px; padding: 16px; }
#scanners { display: flex; flex-direction: column; gap: 16px; }
.scanner { background: #fff; border-radius: 8px; padding: 12px; box-shadow: 0 1px 3px #0003; }
.scanner h2 { margin: 0 0 4px; font-size: 16px; }
.frame { width: 400px; height: 375px; background: #000; display: block; image-rendering: auto; }
.badges { display: flex; flex-wrap: wrap; gap: 4px; margin: 6px 0; }
.badge { border-radius: 10px; padding: 1px 8px; font-size: 12px; background: #e5e7eb; color: #374151; }
.badge.on { background: #2563eb; color: #fff; }
.badge.bad { background: #dc2626; color: #fff; }
#connection.on { background: #16a34a; color: #fff; }
.lamps { display: flex; gap: 12px; margin: 8px 0; flex-wrap: wrap; }
.zone { display: flex; gap: 4px; align-items: center; }
.lamp { width: 16px; height: 16px; border-radius: 50%; background: #d1d5db; border: 1px solid #9ca3af; }
.lamp.green.on { background: #22c55e; box-shadow: 0 0 6px #22c55e; }
.lamp.red.on { background: #ef4444; box-shadow: 0 0 6px #ef4444; }
.lamp.amber.on { background: #f59e0b; box-shadow: 0 0 6px #f59e0b; }
.buzzer { padding: 1px 8px; border-radius: 10px; background: #e5e7eb; }
.buzzer.flash { animation: flash 0.6s; }
@keyframes flash { from { background: #facc15; } to { background: #e5e7eb; } }
.buttons { display: flex; flex-wrap: wrap; gap: 6px; margin-top: 8px; }
button { font: inherit; padding: 2px 10px; }
#timeline { background: #fff; border-radius: 8px; padding: 12px; max-height: 85vh; overflow: auto; }
#timeline h2 { margin: 0 0 8px; font-size: 16px; }
#journal { list-style: none; margin: 0; padding: 0; font-family: ui-monospace, monospace; font-size: 12px; }
#journal li { padding: 2px 0; border-bottom: 1px solid #f3f4f6; }
.when { color: #6b7280; margin-right: 6px; }
.who { color: #2563eb; margin-right: 6px; }
)";

// Everything from the stand-in reaches the page through textContent, never as markup.
const char panel_page_script[] = R"(
'use strict';
const cards = new Map();
let lastEntry = 0;
// The four finger zones' lamp pairs (first green, second red) and the other four lamps.
const zones = [['A', 2, 0], ['B', 4, 6], ['C', 8, 10], ['D', 9, 7]];
const others = [1, 3, 5, 11];

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function say(text) { document.getElementById('message').textContent = text; }

async function act(sensor, what, extra) {
  const query = new URLSearchParams(Object.assign({ sensor: sensor, do: what }, extra || {}));
  try {
    // The run's token, which only a page served by this panel can read, proves the request is its own.
    const token = document.querySelector('meta[name="panel-token"]').content;
    const answer = await fetch('/action?' + query.toString(), { method: 'POST', headers: { 'X-Panel-Token': token } });
    say(answer.ok ? '' : (await answer.text()));
  } catch (error) { say('the stand-in does not answer'); }
}

function lamp(card, number, colour) {
  const node = el('span', 'lamp ' + colour);
  node.dataset.lamp = number;
  node.title = 'lamp ' + number;
  card.lamps[number] = node;
  return node;
}

function makeCard(s) {
  const card = { frames: [], lamps: [], buzzer: s.buzzer_count, sample: 0, loading: false };
  const root = el('article', 'scanner');
  root.dataset.sensor = s.sensor_id;
  root.append(el('h2', '', s.sensor_id));
  card.serial = el('div', 'serial');
  root.append(card.serial);
  card.image = el('img', 'frame');
  card.image.alt = 'live frame of ' + s.sensor_id;
  card.image.addEventListener('load', () => { card.loading = false; card.image.dataset.sample = card.pending; });
  card.image.addEventListener('error', () => { card.loading = false; });
  root.append(card.image);
  card.badges = el('div', 'badges');
  root.append(card.badges);
  card.counts = el('div', 'counts');
  root.append(card.counts);
  const lamps = el('div', 'lamps');
  for (const [name, first, second] of zones) {
    const zone = el('span', 'zone', name);
    zone.append(lamp(card, first, 'green'), lamp(card, second, 'red'));
    lamps.append(zone);
  }
  const rest = el('span', 'zone', 'other');
  for (const number of others) rest.append(lamp(card, number, 'amber'));
  lamps.append(rest);
  card.buzzerNode = el('span', 'buzzer', 'buzzer');
  lamps.append(card.buzzerNode);
  root.append(lamps);
  const buttons = el('div', 'buttons');
  const button = (label, what, extra) => {
    const node = el('button', '', label);
    node.dataset.do = what + (extra && extra.status ? extra.status : '');
    node.addEventListener('click', () => act(s.sensor_id, what, extra));
    buttons.append(node);
  };
  button('Unplug', 'unplug');
  button('Plug in', 'plug');
  button('Sleep', 'sleep');
  button('Wake', 'wake');
  for (const [status, label] of [[16, 'broken'], [18, 'dirty'], [20, 'too bright'], [21, 'unknown']])
    button('Status ' + status + ' (' + label + ')', 'status', { status: String(status) });
  const text = el('input');
  text.placeholder = 'log text';
  text.maxLength = 200;
  const send = el('button', '', 'Send log text');
  send.addEventListener('click', () => { if (text.value) act(s.sensor_id, 'log', { text: text.value }); });
  buttons.append(text, send);
  root.append(buttons);
  card.root = root;
  document.getElementById('scanners').append(root);
  return card;
}

function badge(card, text, kind) { card.badges.append(el('span', 'badge ' + kind, text)); }

function update(card, s, now) {
  card.serial.textContent = 'serial number ' + s.serial_number;
  card.badges.replaceChildren();
  badge(card, s.attached ? 'plugged in' : 'unplugged', s.attached ? 'on' : 'bad');
  badge(card, s.open ? 'open' : 'closed', s.open ? 'on' : '');
  badge(card, s.capturing ? 'capturing' : 'not capturing', s.capturing ? 'on' : '');
  if (s.dirty) badge(card, 'dirty', 'bad');
  if (s.broken) badge(card, 'broken', 'bad');
  if (s.asleep) badge(card, 'asleep', 'bad');
  // The frame rate over the last second or so.
  card.frames.push([now, s.frames]);
  while (card.frames.length > 2 && now - card.frames[1][0] >= 1000) card.frames.shift();
  const [then, before] = card.frames[0];
  const rate = now > then ? (s.frames - before) * 1000 / (now - then) : 0;
  card.counts.textContent = 'frames sent ' + s.frames + ', ' + rate.toFixed(1) + ' per second';
  s.lamps.forEach((on, number) => { if (card.lamps[number]) card.lamps[number].classList.toggle('on', on !== 0); });
  if (s.buzzer_count !== card.buzzer) {
    card.buzzer = s.buzzer_count;
    card.buzzerNode.classList.remove('flash');
    void card.buzzerNode.offsetWidth;
    card.buzzerNode.classList.add('flash');
  }
  card.buzzerNode.textContent = 'buzzer, sounded ' + s.buzzer_count + (s.buzzer_count === 1 ? ' time' : ' times');
  // One picture at a time: a new one is asked for once the last has come.
  if (s.sample !== card.sample && !card.loading) {
    card.sample = s.sample;
    card.pending = String(s.sample);
    card.loading = true;
    card.image.src = '/frame?sensor=' + encodeURIComponent(s.sensor_id) + '&n=' + s.sample;
  }
}

function journal(entries) {
  const list = document.getElementById('journal');
  for (const entry of entries) {
    if (entry.sequence <= lastEntry) continue;
    lastEntry = entry.sequence;
    const item = el('li');
    item.append(el('span', 'when', (entry.ms / 1000).toFixed(3) + ' s'));
    if (entry.sensor_id) item.append(el('span', 'who', entry.sensor_id));
    item.append(el('span', 'what', entry.text));
    list.prepend(item);
  }
  while (list.children.length > 200) list.lastChild.remove();
}

async function poll() {
  try {
    const answer = await fetch('/state', { cache: 'no-store' });
    const state = await answer.json();
    const seen = new Set();
    for (const s of state.scanners) {
      seen.add(s.sensor_id);
      if (!cards.has(s.sensor_id)) cards.set(s.sensor_id, makeCard(s));
      update(cards.get(s.sensor_id), s, state.ms);
    }
    for (const [id, card] of cards) if (!seen.has(id)) { card.root.remove(); cards.delete(id); }
    journal(state.journal);
    const connection = document.getElementById('connection');
    connection.textContent = state.initialized ? 'connected, initialised' : 'connected';
    connection.classList.add('on');
  } catch (error) {
    const connection = document.getElementById('connection');
    connection.textContent = 'the stand-in does not answer';
    connection.classList.remove('on');
  }
  setTimeout(poll, 200);
}

poll();
)";

} // namespace vqsim
