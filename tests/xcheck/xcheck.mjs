#!/usr/bin/env node
// Cross-check of the instruction encodings: every hardware form of the instruction data
// file is assembled by isa-probe from sample statements, and an independent TriCore
// disassembler reads the bytes back. Mnemonic and operands must agree. A statement with
// one operand just outside its range must not give a candidate of the form.
//
//   node xcheck.mjs PATH/TO/isa-probe [--isa=FILE] [--list] [--form=RANK]
//
// --list prints the samples without running anything; --form restricts the run to one form.
// Exit status 1 when any sample disagrees, 2 when the check could not run.

import { spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import path from 'node:path';
import { makeSamples } from './samples.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));

// Where the disassembler reads something differently from the hardware description, or
// where our syntax differs from its canonical one. Each entry turns the expected reading
// into the one that the disassembler prints for a correct encoding. An entry is as narrow
// as the quirk: the mnemonics and the operand field it concerns.
const EXCEPTIONS = [
  {
    name: 'absolute-target-top-bits',
    why: 'for absolute branches the disassembler drops disp24[23:20], the top four address '
       + 'bits, from the target it prints',
    applies: (s) => s.size === 32 && ['calla', 'fcalla', 'ja', 'jla'].includes(s.mnemonic),
    adjust: mapField('disp24', (t) => ({ ...t, value: t.value & 0x1FFFFEn })),
  },
  {
    name: 'call-loop-displacement-sign',
    why: 'for call, fcall, loop and loopu the disassembler takes the second-highest bit of '
       + 'the displacement as a sign bit too, so forward targets in the upper half of the '
       + 'range read as backward ones',
    applies: (s) => ['call', 'fcall', 'loop', 'loopu'].includes(s.mnemonic),
    adjust: (tokens) => tokens.map((t) => {
      const width = { disp8: 8n, disp15: 15n, disp24: 24n }[t.field];
      if (!width) return t;
      const raw = modulo(t.value >> 1n, 1n << width);
      if (((raw >> (width - 2n)) & 1n) === 0n) return t;
      return { ...t, value: (modulo(raw, 1n << (width - 1n)) - (1n << (width - 1n))) * 2n };
    }),
  },
  {
    name: 'const9-zero-extension',
    why: 'the disassembler prints the 9-bit constant of these zero-extending instructions '
       + 'sign-extended (and of absdifs, which sign-extends, zero-extended); the bits agree',
    applies: (s) => ['absdifs', 'and', 'and.ge.u', 'and.lt.u', 'andn', 'bisr', 'ge.u', 'lt.u',
      'madds.u', 'max.u', 'min.u', 'msubs.u', 'mul.u', 'muls.u', 'nand', 'nor', 'or.ge.u',
      'or.lt.u', 'orn', 'rsubs.u', 'sh.ge.u', 'sh.lt.u', 'syscall', 'xnor', 'xor', 'xor.ge.u',
      'xor.lt.u'].includes(s.mnemonic),
    adjust: mapField('const9', (t) => ({ ...t, compare: { kind: 'modulo', modulus: 512n } })),
  },
  {
    name: 'jlt-jne-const4-sign',
    why: 'the disassembler prints the sign-extended 4-bit constant of the 32-bit jlt, jned '
       + 'and jnei zero-extended; the bits agree',
    applies: (s) => s.size === 32 && ['jlt', 'jned', 'jnei'].includes(s.mnemonic),
    adjust: mapField('const4', (t) => ({ ...t, compare: { kind: 'modulo', modulus: 16n } })),
  },
  {
    name: 'mtcr-const16-sign',
    why: 'the disassembler prints the register offset of mtcr sign-extended; the bits agree',
    applies: (s) => s.mnemonic === 'mtcr',
    adjust: mapField('const16', (t) => ({ ...t, compare: { kind: 'modulo', modulus: 65536n } })),
  },
  {
    name: 'st.t-bit-position',
    why: 'the disassembler reads the bit value b of st.t from instruction bit 12 (address '
       + 'bit 28 in off18) instead of bit 11, so b is not checked',
    applies: (s) => s.size === 32 && s.mnemonic === 'st.t',
    adjust: mapField('b', (t, tokens) => ({ ...t, value: (tokens[0].value >> 28n) & 1n })),
  },
  {
    name: 'not-before-1.6.2',
    why: 'the 16-bit not is named nor by the disassembler before TriCore 1.6.2',
    applies: (s) => s.size === 16 && s.mnemonic === 'not' && s.core !== 'tc1.6.x',
    mnemonic: 'nor',
  },
  {
    name: 'old-swap-operand-order',
    why: 'the old swap.w syntax names the data register first; the disassembler prints the '
       + 'current order, memory operand first',
    applies: (s) => s.tags.includes('oldswap'),
    adjust: (tokens) => [...tokens.slice(1), tokens[0]],
  },
];

function mapField(field, change) {
  return (tokens) => tokens.map((t) => (t.field === field ? change(t, tokens) : t));
}

const DECODER_MODES = {
  'tc1.3': 'MODE_TRICORE_130',
  'tc1.3.1': 'MODE_TRICORE_131',
  'tc1.6': 'MODE_TRICORE_160',
  'tc1.6.x': 'MODE_TRICORE_162',
};

function fatal(message) {
  console.error(`xcheck: ${message}`);
  process.exit(2);
}

function usage(message) {
  console.error('usage: node xcheck.mjs PATH/TO/isa-probe [--isa=FILE] [--list] [--form=RANK]');
  fatal(message);
}

function parseArguments(argv) {
  const options = { isa: path.join(here, '../../src/isa/tricore.isa'), list: false, form: null, probe: null };
  for (const arg of argv) {
    if (arg.startsWith('--isa=')) options.isa = arg.slice(6);
    else if (arg === '--list') options.list = true;
    else if (arg.startsWith('--form=')) options.form = +arg.slice(7);
    else if (arg.startsWith('--')) usage(`unknown option ${arg}`);
    else options.probe = arg;
  }
  if (!options.probe && !options.list) usage('no probe program given');
  return options;
}

// ---- the disassembler side ------------------------------------------------------------

async function loadDecoders() {
  const require = createRequire(path.join(here, '../package.json'));
  let factory;
  try {
    factory = require('@alexaltea/capstone-js');
  } catch {
    fatal('the disassembler package is not installed (run scripts/setup.sh)');
  }
  const cs = await factory();
  const decoders = {};
  for (const [core, mode] of Object.entries(DECODER_MODES)) {
    decoders[core] = new cs.Capstone(cs.ARCH_TRICORE, cs[mode]);
  }
  return decoders;
}

function parseNumber(text) {
  const m = text.trim().match(/^#?(-?)(0x[0-9a-f]+|\d+)$/i);
  if (!m) return null;
  const magnitude = BigInt(m[2]);
  return m[1] ? -magnitude : magnitude;
}

function normaliseRegister(text) {
  return text.trim().toLowerCase().replace(/\bsp\b/g, 'a10');
}

// The disassembler's operand text as tokens: "[a2+]#-4" is a memory operand and a number,
// "d3, #4" (the colon bit syntax) two tokens, "#0x1ff" and "0x1ff" the same number.
export function decodedTokens(opStr) {
  if (opStr.trim() === '') return [];
  const tokens = [];
  for (const part of opStr.split(',')) {
    const memory = part.trim().match(/^(\[[^\]]*\])(.*)$/);
    if (memory) {
      tokens.push({ kind: 'text', text: normaliseRegister(memory[1]) });
      if (memory[2].trim() !== '') tokens.push(numberToken(memory[2]));
      continue;
    }
    tokens.push(parseNumber(part) === null ? { kind: 'text', text: normaliseRegister(part) } : numberToken(part));
  }
  return tokens;
}

function numberToken(text) {
  const value = parseNumber(text);
  return value === null ? { kind: 'text', text: text.trim() } : { kind: 'num', value };
}

function modulo(value, modulus) {
  return ((value % modulus) + modulus) % modulus;
}

function valueMatches(expected, decoded) {
  switch (expected.compare.kind) {
    case 'address': return modulo(expected.value, 1n << 32n) === modulo(decoded, 1n << 32n);
    case 'modulo': return modulo(expected.value, expected.compare.modulus) === modulo(decoded, expected.compare.modulus);
    default: return expected.value === decoded;
  }
}

function tokensMatch(expected, decoded) {
  if (expected.length !== decoded.length) return false;
  return expected.every((e, i) => {
    const d = decoded[i];
    if (e.kind !== d.kind) return false;
    return e.kind === 'text' ? e.text === d.text : valueMatches(e, d.value);
  });
}

function showTokens(tokens) {
  return tokens.map((t) => (t.kind === 'text' ? t.text : t.value.toString())).join(', ');
}

// ---- the assembler side ---------------------------------------------------------------

// Runs the probe once per core and option set; returns one output line per sample.
function runProbe(probe, samples) {
  const groups = new Map();
  samples.forEach((sample, index) => {
    const key = [`--core=${sample.core}`, ...sample.options].join(' ');
    if (!groups.has(key)) groups.set(key, []);
    groups.get(key).push(index);
  });
  const lines = new Array(samples.length);
  for (const [key, indices] of groups) {
    const input = indices.map((i) => samples[i].text).join('\n') + '\n';
    const result = spawnSync(probe, key.split(' '), { input, encoding: 'utf8', maxBuffer: 1 << 28 });
    if (result.error) fatal(`cannot run ${probe}: ${result.error.message}`);
    const output = result.stdout.split('\n');
    if (output[output.length - 1] === '') output.pop();
    // Status 1 only says that some line drew an error; each line is judged on its own.
    if ((result.status !== 0 && result.status !== 1) || output.length !== indices.length) {
      fatal(`${probe} ${key} exited with status ${result.status} after ${output.length} of `
          + `${indices.length} lines\n${result.stderr}`);
    }
    indices.forEach((sampleIndex, line) => { lines[sampleIndex] = output[line]; });
  }
  return lines;
}

function parseCandidates(line) {
  return line.trim().split(' ').map((text) => {
    const [bits, hex] = text.split(':');
    return { text, bits: +bits, hex };
  });
}

// The candidate of the form under test: its size, and its primary opcode in the first byte.
function pickCandidate(sample, candidates) {
  return candidates.find((c) => {
    if (c.bits !== sample.size || c.hex.length !== c.bits / 4) return false;
    const first = parseInt(c.hex.slice(0, 2), 16);
    return !Number.isNaN(first) && (first & sample.op1Mask) === (sample.op1 & sample.op1Mask);
  });
}

function hexBytes(hex) {
  const bytes = [];
  for (let i = 0; i < hex.length; i += 2) bytes.push(parseInt(hex.slice(i, i + 2), 16));
  return bytes;
}

// ---- the check ------------------------------------------------------------------------

function checkSample(sample, line, decoders, used) {
  if (sample.rejected) {
    if (line.startsWith('error: ')) return null;
    const candidate = pickCandidate(sample, parseCandidates(line));
    if (!candidate) return null;
    const decoded = decoders[sample.core].disasm(hexBytes(candidate.hex.replaceAll('..', '00')), 0);
    return `operand out of range accepted: ${candidate.text}`
         + (decoded.length ? ` (reads "${decoded[0].mnemonic} ${decoded[0].op_str}")` : '');
  }
  if (line.startsWith('error: ')) return `not accepted: ${line}`;
  const candidates = parseCandidates(line);
  const candidate = pickCandidate(sample, candidates);
  if (!candidate) return `no ${sample.size}-bit candidate with opcode 0x${sample.op1.toString(16)} among: ${line}`;
  if (candidate.hex.includes('..')) return `deferred operand field in ${candidate.text}`;
  const decoded = decoders[sample.core].disasm(hexBytes(candidate.hex), 0);
  if (decoded.length !== 1 || decoded[0].size !== candidate.bits / 8) {
    return `${candidate.text} does not decode as one instruction`
         + (decoded.length ? ` (reads ${decoded.map((d) => `${d.mnemonic} ${d.op_str}`).join('; ')})` : '');
  }
  let expected = sample.tokens;
  let expectedMnemonic = sample.mnemonic;
  for (const exception of EXCEPTIONS) {
    if (exception.applies(sample)) {
      if (exception.adjust) expected = exception.adjust(expected);
      if (exception.mnemonic) expectedMnemonic = exception.mnemonic;
      used.add(exception.name);
    }
  }
  const { mnemonic, op_str: opStr } = decoded[0];
  if (mnemonic === expectedMnemonic && tokensMatch(expected, decodedTokens(opStr))) return null;
  return `${candidate.text} decodes as "${mnemonic} ${opStr}", expected "${expectedMnemonic} ${showTokens(expected)}"`;
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  let samples = makeSamples(options.isa);
  if (options.form !== null) samples = samples.filter((s) => s.rank === options.form);
  if (options.list) {
    for (const s of samples) {
      const reading = s.rejected ? 'refused' : `${s.mnemonic} ${showTokens(s.tokens)}`;
      console.log([s.rank, s.core, s.options.join(' ') || '-', s.text, reading].join('\t'));
    }
    return 0;
  }
  const decoders = await loadDecoders();
  const lines = runProbe(options.probe, samples);
  const used = new Set();
  const failedForms = new Set();
  let failed = 0;
  samples.forEach((sample, i) => {
    const problem = checkSample(sample, lines[i], decoders, used);
    if (problem === null) return;
    failed++;
    failedForms.add(sample.rank);
    console.log(`MISMATCH form ${sample.rank} [${[`--core=${sample.core}`, ...sample.options].join(' ')}] "${sample.text}": ${problem}`);
  });
  for (const exception of EXCEPTIONS) {
    if (!used.has(exception.name)) console.log(`note: exception ${exception.name} was not needed by any sample`);
  }
  const forms = new Set(samples.map((s) => s.rank)).size;
  console.log(`xcheck: ${samples.length} samples of ${forms} forms, ${failedForms.size} forms with mismatches`);
  console.log(`xcheck: ${samples.length - failed} passed, ${failed} failed`);
  return failed === 0 ? 0 : 1;
}

process.exitCode = await main();
