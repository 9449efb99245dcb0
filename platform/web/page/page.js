// page.js: what every module of the page uses: its elements, the show's length and stages.
import { status } from './seam.js';

/** The show's length, as the wasm's timeline has it: handed over with the player (quorbelPlayer). */
export const show = { lengthMs: 0 };
/** The last moment of the show a seek or the sound may go to. */
export const lastFrameMs = () => show.lengthMs - 1;

/**
 * The element of index.html with that id; the page is broken without it.
 * @param {string} id
 * @returns {HTMLElement}
 */
export function $(id) {
  const element = document.getElementById(id);
  if (!element) throw new Error(`quorbel: index.html has no #${id}`);
  return element;
}

/** The player's stages, in which its bar and keys work. */
export const showing = () => status.stage === 'show' || status.stage === 'paused' || status.stage === 'seeking';

/**
 * Show time as the bar writes it, m:ss.
 * @param {number} ms
 */
export const clock = (ms) => Math.floor(ms / 60000) + ':' + String(Math.floor(ms / 1000) % 60).padStart(2, '0');
