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

window.addEventListener('keydown', (event) => {
  retryAudio();
  if (asking()) {
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
  // A focused button takes Space and Return as a press, as buttons do.
  const onButton = event.target instanceof HTMLElement && event.target.tagName === 'BUTTON';
  if (!row || onButton && (event.key === ' ' || event.key === 'Enter')) return;
  Module.quorbelKeys.push(row.code);
  event.preventDefault();
});
