// emscripten.d.ts: what emscripten's output gives a --js-library (page_library.js), for tsc.
declare const LibraryManager: { library: object };
declare function mergeInto(library: object, functions: Record<string, Function>): void;
declare function UTF8ToString(pointer: number): string;
declare function stringToUTF8(text: string, pointer: number, size: number): void;
declare const HEAP8: Int8Array;
declare const HEAPU8: Uint8Array;
declare const HEAP16: Int16Array;
declare const HEAPU32: Uint32Array;
declare const Module: import('./page/seam.js').QuorbelModule;
