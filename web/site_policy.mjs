// The Content-Security-Policy of every file of the site, in the page's <meta> and in the
// header of the development server (workers take it from the header alone). Nothing but
// the page's own files: no other origin, no inline script or style; the WebAssembly core
// needs 'wasm-unsafe-eval' to be compiled.
const directives = [
  "default-src 'none'",
  "script-src 'self' 'wasm-unsafe-eval'",
  "worker-src 'self'",
  "connect-src 'self'",
  "style-src 'self'",
  "img-src 'self'",
  "manifest-src 'self'",
  "base-uri 'none'",
  "form-action 'none'",
];
// A <meta> policy cannot say who may frame the page; a header can.
export const metaContentSecurityPolicy = directives.join('; ');
export const contentSecurityPolicy = [...directives, "frame-ancestors 'none'"].join('; ');
