// tests/web/tap.js: the test page's tap on Web Audio. Each block the disk hands
// over is kept with its time on the context's clock; a block handed over
// after its time came was late. tap_take gives the last seconds as base64
// 16-bit stereo, with the rate and the first block's time.
window.tap = {blocks: [], late: 0, kept: 30};  // kept: seconds
const slot = Object.getOwnPropertyDescriptor(ScriptProcessorNode.prototype, 'onaudioprocess');
Object.defineProperty(ScriptProcessorNode.prototype, 'onaudioprocess', {get: slot.get, set(f) {
  slot.set.call(this, f && function (e) {
    f.call(this, e);
    const b = e.outputBuffer, t = tap.blocks;
    tap.context = this.context;
    if (e.playbackTime < this.context.currentTime) tap.late++;
    tap.rate = b.sampleRate;
    t.push([e.playbackTime, b.getChannelData(0).slice(), b.getChannelData(1).slice()]);
    while (t.length && t[0][0] < e.playbackTime - tap.kept) t.shift();
  });
}});
window.tap_take = function (seconds) {
  const t = tap.blocks, end = t.length ? t[t.length - 1][0] : 0, out = [];
  let first = null;
  for (const [at, l, r] of t) {
    if (at < end - seconds) continue;
    if (first === null) first = at;
    for (let i = 0; i < l.length; i++) out.push(l[i], r[i]);
  }
  const s = new Int16Array(out.map(v => Math.max(-32768, Math.min(32767, Math.round(v * 32768)))));
  let text = ''; const bytes = new Uint8Array(s.buffer);
  for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  return [tap.rate, btoa(text), first];
};
window.tap_span = function () {
  return tap.blocks.length ? tap.blocks[tap.blocks.length - 1][0] - tap.blocks[0][0] : 0;
};
