// question.js: the question box ("Fullscreen ?"), whose answer is the gesture that lets the
// browser start sound, and the notes under it.
import { enterFullScreen } from './fullscreen.js';
import { $ } from './page.js';
import { Module, status } from './seam.js';
import { startAudio } from './sound.js';

const question = $('question');

/** @returns {boolean} */
export const asking = () => !question.hidden;

/** @param {boolean} yes */
export function answer(yes) {
  if (question.hidden) return;
  question.hidden = true;
  status.answeredAt = performance.now();
  startAudio();
  if (yes) enterFullScreen();
  Module.canvas.focus();
  Module.quorbelAnswer = yes ? 1 : 0;
}

export function hideQuestion() {
  question.hidden = true;
  question.classList.remove('early');
}

// The HTML showed the question already; from here it can be answered.
if (question.classList.contains('early')) {
  question.classList.remove('early');
  question.hidden = false;
  for (const id of ['yes', 'no']) /** @type {HTMLButtonElement} */ ($(id)).disabled = false;
  $('yes').focus();
}

$('yes').addEventListener('click', () => answer(true));
$('no').addEventListener('click', () => answer(false));

// The page shows the question from its HTML at once; the wasm asks it once it has loaded, and
// finds it answered already where the viewer was quicker.
Module.quorbelAsk = function (text, caption) {
  $('question-text').textContent = text;
  $('question-caption').textContent = caption;
  status.askedAt = performance.now();
  if (Module.quorbelAnswer === undefined && !question.hidden && !question.contains(document.activeElement)) $('yes').focus();
};

Module.quorbelNote = function (line) {
  const note = $('note');
  note.textContent = note.hidden ? line : note.textContent + '\n' + line;
  note.hidden = false;
};
