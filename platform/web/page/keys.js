// keys.js: the keyboard: the question's Return and Escape, then the show's key table (which the
// wasm hands over), key F's overlay and key S's link.
import { copyAddress } from './address.js';
import { toggleFrames } from './frames.js';
import { showing } from './page.js';
import { answer, asking } from './question.js';
import { Module } from './seam.js';
import { retryAudio } from './sound.js';

/** @type {import('./seam.js').KeyRow[]} */
let keyRows = [];

/** @param {import('./seam.js').KeyRow[]} rows */
export function setKeyRows(rows) {
  keyRows = rows;
}

/**
 * The player's code of a key (' ' is play/pause); -1 where the table has none.
 * @param {string} key
 */
export function keyCode(key) {
  const row = keyRows.find((r) => r.key === key);
  return row ? row.code : -1;
}

/**
 * The row a key matches: the one with Shift when Shift is held, else one without.
 * @param {KeyboardEvent} event
 */
function playerKey(event) {
  let plain = null;
  for (const row of keyRows) {
    if (row.key !== event.key) continue;
    if (row.shift === event.shiftKey) return row;
    if (!row.shift) plain = row;
  }
  return plain;
}

/** @param {EventTarget | null} target */
const isButton = (target) => target instanceof HTMLElement && target.tagName === 'BUTTON';

// A key held down acts again at its row's own rate, not the keyboard's: its auto-repeat comes
// faster than seeks are done (as the desktop's player has it).
/** @type {{key: string, pressedAt: number, actedAt: number} | null} */
let held = null;

/**
 * Whether a key press acts now: a first press always, a repeat when its row repeats and is due.
 * @param {KeyboardEvent} event
 * @param {import('./seam.js').KeyRow} row
 */
function due(event, row) {
  const now = performance.now();
  if (!event.repeat || !held || held.key !== event.key) {
    held = { key: event.key, pressedAt: now, actedAt: now };
    return !event.repeat;
  }
  if (row.repeatMs === 0 || now - held.pressedAt < row.delayMs || now - held.actedAt < row.repeatMs) return false;
  held.actedAt = now;
  return true;
}
window.addEventListener('keyup', (event) => {
  if (held && held.key === event.key) held = null;
});

window.addEventListener('keydown', (event) => {
  retryAudio();
  if (asking()) {
    // A focused button answers as itself (Return on No is No); elsewhere Return is Yes.
    if (isButton(event.target) && (event.key === 'Enter' || event.key === ' ')) return;
    if (event.key === 'Enter') answer(true);
    else if (event.key === 'Escape') answer(false);
    else return;
    event.preventDefault();
    return;
  }
  const row = playerKey(event);
  if (row && row.ends) {
    Module.quorbelEscape = true;
    return;
  }
  if (event.key === 'f' || event.key === 'F') {
    toggleFrames();
    return;
  }
  if (!showing()) return;  // keys before the show's first frame are none of the show's
  if (event.key === 's' || event.key === 'S') {
    copyAddress();
    event.preventDefault();
    return;
  }
  // A focused button takes Space and Return as a press, as buttons do. Every other key means
  // what the table says whatever has the focus (the scrub bar too).
  if (!row || isButton(event.target) && (event.key === ' ' || event.key === 'Enter')) return;
  event.preventDefault();
  if (due(event, row)) Module.quorbelKeys.push(row.code);
});
