// main.js: the page's side of the show, its modules by idea, then the show's program (load.js),
// which finds Module (seam.js) ready.
import { playerAddress } from './address.js';
import './sound.js';
import './context.js';
import { hideQuestion } from './question.js';
import './keys.js';
import './controls.js';
import './fullscreen.js';
import './endings.js';
import './away.js';
import './wake.js';
import './media.js';
import { loadShow } from './load.js';
import { status } from './seam.js';

/** @type {Window & {quorbel?: import('./seam.js').QuorbelStatus}} */ (window).quorbel = status;

if (!playerAddress) hideQuestion();
loadShow();
