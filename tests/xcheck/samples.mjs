// Sample statements for every hardware form of the instruction data file, each with the
// reading that an independent decoder must give back for its encoding.
//
// A sample is { rank, size, op1, op1Mask, core, options, tags, text, sizedText, mnemonic,
// tokens, rejected }. `sizedText` spells the mnemonic with its size marker (mov32, ld16.a),
// which keeps an assembler that picks the shortest form on the form under test. `tokens` is
// the decoder-side view of the operands: registers and memory operands as normalised text,
// numbers as { value, compare, field, relative } where compare says how the decoder's number
// may legitimately differ in spelling (see valueMatches in xcheck.mjs), relative marks a
// branch target counted from the instruction's own address (the sample is at address 0), and
// label one written where the syntax takes a label.
// A `rejected` sample holds one operand just outside its range: the form must refuse it.

import { readFileSync } from 'node:fs';

// ---- the data file --------------------------------------------------------------------

export function readIsa(path) {
  const formats = new Map();
  const forms = [];
  let form = null;
  for (const raw of readFileSync(path, 'utf8').split('\n')) {
    // Only whole lines are comments: '#' also marks immediates in the syntax.
    const line = raw.trim();
    if (line === '' || line.startsWith('#')) continue;
    const words = line.split(/\s+/);
    if (words[0] === 'format') {
      formats.set(words[1], { bits: +words[2], widths: fieldWidths(words.slice(3)) });
      form = null;
    } else if (words[0] === 'form') {
      form = {
        rank: +words[1], size: words[2], format: words[3],
        syntax: words.slice(4).join(' ').replace(/^- ?/, ''),
        when: [], mnemonics: [],
      };
      forms.push(form);
    } else if (form && words[0] === 'when') {
      form.when.push(...words.slice(1));
    } else if (form && words[0] === 'template') {
      form.template = words[1];
    } else if (form) {
      const name = words[0];
      const as = words.find((w) => w.startsWith('as='));
      form.mnemonics.push({
        name: name.replace(/\*$/, ''),
        plainOnly: name.endsWith('*'),
        op1: words[1] !== undefined ? parseInt(words[1], 16) : undefined,
        decodedAs: as ? as.slice(3) : name.replace(/\*$/, ''),
      });
    }
  }
  return { formats, forms };
}

// Width of every field of a format; a split field is the sum of its pieces.
function fieldWidths(fields) {
  const widths = {};
  for (const f of fields) {
    const m = f.match(/^([\w/]+)(?:<[\d:]+>)?\[(\d+)(?::(\d+))?\]$/);
    if (!m) continue;
    const hi = +m[2];
    const lo = m[3] === undefined ? hi : +m[3];
    widths[m[1]] = (widths[m[1]] ?? 0) + hi - lo + 1;
  }
  // 16-bit branch displacements beyond the formats: one whose fifth bit goes into the
  // opcode, and one counted from 16 halfwords on.
  widths.disp4x = 5;
  widths.disp4h = 4;
  return widths;
}

// ---- operand syntax -------------------------------------------------------------------

const TOKEN = new RegExp([
  '(?<open>\\()', '(?<bar>\\|)', '(?<close>\\))',
  '(?<num>n\\[(?<lo>-?\\d+)\\.\\.(?<hi>-?\\d+)\\](?:\\{(?<nfield>[^}]*)\\})?)',
  '(?<target>(?<tkind>label|address)(?:\\{(?<tfield>[^}]*)\\})?)',
  '(?<reg>(?<cls>Dn|Dx|D15|An|A15|SP|En|Pn)(?:\\{(?<rfield>[^}]*)\\})?)',
  '(?<implied>d15|a15)',
  '(?<fixed>-?\\d+)',
  '(?<word>[a-z]+)',
  '(?<char>.)',
].join('|'), 'y');

export function parseSyntax(text) {
  TOKEN.lastIndex = 0;
  const stack = [[]];
  const choices = [];
  while (TOKEN.lastIndex < text.length) {
    const g = TOKEN.exec(text).groups;
    const seq = stack[stack.length - 1];
    if (g.open) {
      const choice = { t: 'choice', alts: [] };
      seq.push(choice);
      choices.push(choice);
      stack.push([]);
    } else if (g.bar || g.close) {
      choices[choices.length - 1].alts.push(stack.pop());
      if (g.bar) stack.push([]);
      else choices.pop();
    } else if (g.num) {
      seq.push({ t: 'num', lo: BigInt(g.lo), hi: BigInt(g.hi), field: g.nfield });
    } else if (g.target) {
      seq.push({ t: g.tkind, field: g.tfield });
    } else if (g.reg) {
      seq.push({ t: 'reg', cls: g.cls, field: g.rfield });
    } else if (g.implied) {
      seq.push({ t: 'reg', cls: g.implied });
    } else if (g.fixed) {
      seq.push({ t: 'fixed', value: BigInt(g.fixed) });
    } else {
      seq.push({ t: 'lit', text: g.word ?? g.char });
    }
  }
  return stack[0];
}

// ---- operand values -------------------------------------------------------------------

// Variants: 0 the low end of every set and range, 1 the high end, 2 values from the middle
// that differ from operand to operand, so that swapped fields show.
const LOW = 0, HIGH = 1, MID = 2;

const REG_SETS = {
  Dn: { prefix: 'd', values: range(0, 15) },
  Dx: { prefix: 'd', values: range(0, 14) },
  An: { prefix: 'a', values: range(0, 15) },
  En: { prefix: 'e', values: range(0, 14).filter((n) => n % 2 === 0) },
  Pn: { prefix: 'p', values: range(0, 14).filter((n) => n % 2 === 0) },
};
// Base registers that select one of the five forms of an addressing line.
const BASE_SETS = {
  a0: [0], a1: [1], a8: [8], a9: [9],
  aother: [2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15],
};
const MID_ORDER = [3, 5, 7, 9, 11, 13, 2, 4, 6, 8, 10, 12, 14, 1, 15, 0];

function range(lo, hi) {
  return Array.from({ length: hi - lo + 1 }, (_, i) => lo + i);
}

// Data and address registers each form one file: e2 is d2 and d3, p4 is a4 and a5.
function fileOf(cls) {
  return cls[0].toLowerCase() === 'd' || cls[0] === 'E' ? 'd' : 'a';
}

function pickRegister(cls, variant, used, baseSet) {
  const set = REG_SETS[cls];
  let values = set.values;
  if (baseSet) values = values.filter((n) => baseSet.includes(n));
  const order = variant === LOW ? values
    : variant === HIGH ? [...values].reverse()
    : MID_ORDER.filter((n) => values.includes(n));
  const file = fileOf(cls);
  const width = cls === 'En' || cls === 'Pn' ? 2 : 1;
  const free = (n) => !range(n, n + width - 1).some((r) => used.has(file + r));
  const n = order.find(free) ?? order[0];
  for (const r of range(n, n + width - 1)) used.add(file + r);
  // Address register pairs are written as the two registers, either way round; data
  // register pairs also so at the high end.
  let text = set.prefix + n;
  if (cls === 'Pn') text = variant === HIGH ? `a${n + 1}/a${n}` : `a${n}/a${n + 1}`;
  else if (cls === 'En' && variant === HIGH) text = `d${n + 1}/d${n}`;
  return { text, norm: set.prefix + n };
}

// Fields whose value the hardware scales: the syntax range is the field range times the
// scale, so the scale follows from the range and the field width.
function scaleOf(node, width) {
  if (node.lo < 0n || width === undefined) return 1n;
  const s = node.hi / ((1n << BigInt(width)) - 1n);
  return s > 1n ? s : 1n;
}

// The value of an expression operand in range [lo, hi] for a variant.
function pickNumber(lo, hi, scale, variant, position) {
  const align = (v) => v - (((v % scale) + scale) % scale);
  if (variant === LOW) return align(lo + scale - 1n);
  if (variant === HIGH) return align(hi);
  // Middle values with a mixture of set and clear bits, different per position.
  const span = hi - lo;
  const fractions = [37n, 61n, 23n, 83n, 49n];
  const v = align(lo + (span * fractions[position % fractions.length]) / 100n);
  return v === 0n && hi > 0n ? scale : v;
}

// Absolute addresses that an 18-bit absolute field can hold: the top four bits and the low
// fourteen.
const ABS18 = [0n, 0xF0003FFFn, 0xD0001234n, 0x90002A5Cn];
// Absolute branch targets: the top four bits and bits 20..1.
const ABS24 = [0n, 0xF01FFFFEn, 0xD0123456n, 0x800A5A5An];

// Branch targets from address 0, per displacement field.
const TARGET_RANGES = {
  disp4: (backward) => (backward ? [-32n, -2n] : [0n, 30n]),
  disp4h: () => [32n, 62n],
  disp8: () => [-256n, 254n],
  disp15: () => [-32768n, 32766n],
  disp24: () => [-(1n << 24n), (1n << 24n) - 2n],
};

// ---- samples --------------------------------------------------------------------------

function coreOf(when) {
  if (when.includes('tc16x')) return 'tc1.6.x';
  if (when.includes('tc16')) return 'tc1.6';
  if (when.includes('tc131')) return 'tc1.3.1';
  return 'tc1.3';
}

function optionsOf(when) {
  const options = [];
  if (when.includes('mmu')) options.push('--mmu-present');
  return options;
}

export function op1MaskOf(form) {
  if (form.format === 'SRRS') return 0x3F;
  if (form.format === 'BRN' || /disp4x/.test(form.syntax)) return 0x7F;
  return 0xFF;
}

// Writes the statement text of one form for a variant and builds the decoder-side tokens.
function buildSample(form, widths, mnemonic, variant, choiceIndex, outside = null) {
  const used = new Set();
  const baseTag = form.when.find((w) => w in BASE_SETS);
  // A fixed base register is taken first, so that the other registers differ from it.
  if (baseTag && BASE_SETS[baseTag].length === 1) used.add('a' + BASE_SETS[baseTag][0]);
  let text = '';
  const tokens = [];
  let position = 0;
  let memory = null;     // the memory operand being written: { norm, negate }
  let pendingNegate = false;
  let outsideWritten = false;
  // The value just past one end of the range, when this position is the one to push out.
  const pushOut = (value, lo, hi, step) => {
    if (!outside || outside.position !== position) return value;
    outsideWritten = true;
    return outside.above ? hi + step : lo - step;
  };

  const emit = (seq) => {
    for (const node of seq) {
      switch (node.t) {
        case 'choice':
          emit(node.alts[choiceIndex % node.alts.length]);
          break;
        case 'lit':
          text += node.text;
          if (node.text === '[') {
            memory = { norm: '[', negate: false };
          } else if (memory && node.text === ']') {
            memory.norm += ']';
            tokens.push({ kind: 'text', text: memory.norm });
            pendingNegate = memory.negate;
            memory = null;
          } else if (memory && node.text === '-') {
            memory.norm += '+';
            memory.negate = true;
          } else if (memory) {
            memory.norm += node.text;
          } else if (/^[lu]+$/.test(node.text) && tokens.length) {
            tokens[tokens.length - 1].text += node.text;
          }
          break;
        case 'reg': {
          let reg;
          if (node.cls === 'D15' || node.cls === 'd15') {
            reg = { text: 'd15', norm: 'd15' };
            used.add('d15');
          } else if (node.cls === 'A15' || node.cls === 'a15') {
            reg = { text: 'a15', norm: 'a15' };
            used.add('a15');
          } else if (node.cls === 'SP') {
            reg = { text: 'sp', norm: 'a10' };
            used.add('a10');
          } else {
            const baseSet = memory && baseTag && node.cls === 'An' ? BASE_SETS[baseTag] : undefined;
            reg = pickRegister(node.cls, variant, used, baseSet);
          }
          text += reg.text;
          if (memory) {
            memory.norm += reg.norm;
          } else {
            tokens.push({ kind: 'text', text: reg.norm });
            // One register written into two fields reads back twice.
            if (node.field && node.field.includes('+')) tokens.push({ kind: 'text', text: reg.norm });
          }
          break;
        }
        case 'fixed':
          // Fixed values are part of the opcode: the decoder does not print them.
          text += node.value.toString();
          pendingNegate = false;
          break;
        case 'num': {
          const width = widths[node.field];
          let value;
          let compare;
          if (node.field === 'off18') {
            value = ABS18[variant === MID ? 2 + (position % 2) : variant];
            compare = { kind: 'address' };
          } else if (node.field === 'disp4x') {
            value = pushOut(pickNumber(node.lo, node.hi, 2n, variant, position), node.lo, node.hi, 2n);
            compare = { kind: 'address' };
          } else {
            const scale = scaleOf(node, width);
            value = pushOut(pickNumber(node.lo, node.hi, scale, variant, position), node.lo, node.hi, scale);
            const effective = pendingNegate ? [-node.hi, -node.lo] : [node.lo, node.hi];
            compare = numberCompare(effective, width, scale);
          }
          text += value.toString();
          tokens.push({
            kind: 'num', value: pendingNegate ? -value : value, compare, field: node.field,
            relative: node.field === 'disp4x',
          });
          pendingNegate = false;
          position++;
          break;
        }
        case 'label': {
          // The 16-bit loop is the one short jump backward.
          const backward = node.field === 'disp4' && mnemonic.name === 'loop';
          const [lo, hi] = TARGET_RANGES[node.field](backward);
          const value = pushOut(pickNumber(lo, hi, 2n, variant, position), lo, hi, 2n);
          text += value.toString();
          tokens.push({ kind: 'num', value, compare: { kind: 'address' }, field: node.field, relative: true, label: true });
          position++;
          break;
        }
        case 'address': {
          const value = ABS24[variant === MID ? 2 + (position % 2) : variant];
          text += value.toString();
          tokens.push({ kind: 'num', value, compare: { kind: 'address' }, field: node.field });
          position++;
          break;
        }
      }
    }
  };
  emit(parseSyntax(form.syntax));
  if (outside && !outsideWritten) return null;
  const sizedName = mnemonic.plainOnly ? mnemonic.name : sizeMarked(mnemonic.name, form.size);
  const statement = form.syntax === '' ? mnemonic.name : `${mnemonic.name} ${text}`;
  return {
    rank: form.rank,
    size: +form.size,
    op1: mnemonic.op1,
    op1Mask: op1MaskOf(form),
    core: coreOf(form.when),
    options: optionsOf(form.when),
    tags: form.when,
    text: statement,
    sizedText: sizedName + statement.slice(mnemonic.name.length),
    mnemonic: mnemonic.decodedAs,
    tokens,
    rejected: outside !== null,
  };
}

// The size marker goes before the last dot: ld16.a, and.ge32.u.
function sizeMarked(name, size) {
  const dot = name.lastIndexOf('.');
  return dot < 0 ? name + size : name.slice(0, dot) + size + name.slice(dot);
}

// How a decoded number may be spelled: exactly, when the range of the syntax is either
// signed or unsigned in the field; modulo the field, when the range admits both readings
// of the same bits (a 16-bit constant written -1 or 65535).
function numberCompare([lo, hi], width, scale) {
  if (width === undefined) return { kind: 'exact' };
  const bits = BigInt(width) + BigInt(scale.toString(2).length - 1);
  const signedFits = lo >= -(1n << (bits - 1n)) && hi <= (1n << (bits - 1n)) - 1n;
  const unsignedFits = lo >= 0n && hi <= (1n << bits) - 1n;
  if (signedFits || unsignedFits) return { kind: 'exact' };
  return { kind: 'modulo', modulus: 1n << bits };
}

export function makeSamples(isaPath) {
  const { formats, forms } = readIsa(isaPath);
  const samples = [];
  for (const form of forms) {
    if (form.size === 'generic') continue;
    const widths = formats.get(form.format).widths;
    form.mnemonics.forEach((mnemonic, index) => {
      // Both ends of every range for every mnemonic: whether a constant is sign- or
      // zero-extended is a property of the mnemonic, not of the form.
      for (const variant of [LOW, HIGH, MID]) {
        samples.push(buildSample(form, widths, mnemonic, variant, variant === MID ? index + 1 : variant));
      }
    });
    // Ranges belong to the form: one value just past each end of each range, which the
    // form must refuse (another form may still take the statement).
    for (let position = 0; position < 6; position++) {
      for (const above of [false, true]) {
        const sample = buildSample(form, widths, form.mnemonics[0], MID, 0, { position, above });
        if (sample) samples.push(sample);
      }
    }
  }
  return samples;
}
