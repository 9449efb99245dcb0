// main.js: the page's side of the show, its modules by idea, then the wasm's script, which
// finds Module (seam.js) ready.
import './address.js';
import './sound.js';
import './context.js';
import './question.js';
import './keys.js';
import './controls.js';
import './fullscreen.js';
import './endings.js';
import { Module, status } from './seam.js';

/** @type {Window & {quorbel?: import('./seam.js').QuorbelStatus}} */ (window).quorbel = status;

const script = document.createElement('script');
script.src = 'quorbel.js';
script.onerror = () => Module.quorbelFail('quorbel.js could not be loaded');
document.body.appendChild(script);
