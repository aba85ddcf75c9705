#!/usr/bin/env node
// Cross-check of the instruction encodings: every hardware form of the instruction data
// file is assembled by isa-probe from sample statements, and an independent TriCore
// disassembler reads the bytes back. Mnemonic and operands must agree. A statement with
// one operand just outside its range must not give a candidate of the form.
// Then the accepted samples of each core, with jumps and calls to labels among them, are
// assembled by vekt into an object file, and the code is read back from the object.
//
//   node xcheck.mjs PATH/TO/isa-probe [--vekt=PATH] [--phase=probe|object|both] [--isa=FILE]
//                   [--list] [--form=RANK]
//
// --vekt names the assembler (default: vekt next to the probe); --phase runs one of the two
// checks (default both); --list prints the samples without running anything; --form
// restricts the run to one form.
// Exit status 1 when any sample disagrees, 2 when the check could not run.

import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { fileURLToPath } from 'node:url';
import path from 'node:path';
import { readElf32 } from './elf32.mjs';
import { makeSamples, op1MaskOf, readIsa } from './samples.mjs';

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
  console.error('usage: node xcheck.mjs PATH/TO/isa-probe [--vekt=PATH] [--phase=probe|object|both] [--isa=FILE] '
              + '[--list] [--form=RANK]');
  fatal(message);
}

function parseArguments(argv) {
  const options = { isa: path.join(here, '../../src/isa/tricore.isa'), list: false, form: null, probe: null, vekt: null, phase: 'both' };
  for (const arg of argv) {
    if (arg.startsWith('--isa=')) options.isa = arg.slice(6);
    else if (arg.startsWith('--vekt=')) options.vekt = arg.slice(7);
    else if (['--phase=probe', '--phase=object', '--phase=both'].includes(arg)) options.phase = arg.slice(8);
    else if (arg === '--list') options.list = true;
    else if (arg.startsWith('--form=')) options.form = +arg.slice(7);
    else if (arg.startsWith('--')) usage(`unknown option ${arg}`);
    else options.probe = arg;
  }
  if (!options.probe && !options.list) usage('no probe program given');
  if (options.probe && !options.vekt) options.vekt = path.join(path.dirname(options.probe), 'vekt');
  if (!options.list && options.phase !== 'probe' && !existsSync(options.vekt)) usage(`no assembler at ${options.vekt} (give --vekt=PATH)`);
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
  return tokens.map((t) => {
    if (t.kind === 'text') return t.text;
    return t.compare?.kind === 'address' ? `0x${modulo(t.value, 1n << 32n).toString(16)}` : t.value.toString();
  }).join(', ');
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
  return readingProblem(candidate.text, decoded[0], expectedReading(sample, used));
}

// The reading the disassembler gives for a correct encoding of the sample placed at
// `address`: the sample's own reading turned by every exception that applies to it.
function expectedReading(sample, used, address = 0n) {
  let tokens = sample.tokens;
  let mnemonic = sample.mnemonic;
  for (const exception of EXCEPTIONS) {
    if (exception.applies(sample)) {
      if (exception.adjust) tokens = exception.adjust(tokens);
      if (exception.mnemonic) mnemonic = exception.mnemonic;
      used.add(exception.name);
    }
  }
  // The quirks concern the displacement, so relative targets move to the address last.
  tokens = tokens.map((t) => (t.relative ? { ...t, value: t.value + address } : t));
  return { mnemonic, tokens };
}

function readingProblem(what, decoded, expected) {
  const { mnemonic, op_str: opStr } = decoded;
  if (mnemonic === expected.mnemonic && tokensMatch(expected.tokens, decodedTokens(opStr))) return null;
  return `${what} decodes as "${mnemonic} ${opStr}", expected "${expected.mnemonic} ${showTokens(expected.tokens)}"`;
}

// ---- the object file ------------------------------------------------------------------
//
// The accepted samples of each core go into one source, each behind a label of its own,
// with jumps and calls to labels of that source around them. vekt assembles it into an
// object file; the code read back from the object's .text must hold every sample at its
// label as the probe encoded it, and every branch must reach the address that the symbol
// table gives its label.

// Labels of the object source: the branches jump between them, the samples stand between
// xc_mid and xc_far. The gaps make xc_mid and xc_far too far for the 16-bit displacements,
// and xc_far too far for the 15-bit ones.
const NEAR_GAP = 300;
const FAR_GAP = 40000;

// The branches. `size` is the form the assembler must pick (the short one wherever the
// target is in its reach); `reads` lists what the statement reads back as where that is
// another spelling or a generic expansion, with ~next the address just after it. {first},
// {middle} and {last} are labels of samples. The constants avoid the decoder's const4 sign
// quirk, which concerns samples, not branches.
const BRANCHES = [
  { at: 'head', text: 'j xc_back', size: 16 },
  { at: 'head', text: 'call xc_back', size: 16 },
  { at: 'head', text: 'loop a2,xc_back', size: 16 },
  { at: 'head', text: 'jeq d3,d4,xc_back', size: 32 },
  { at: 'head', text: 'jne d3,#-4,xc_back', size: 32 },
  { at: 'head', text: 'jl xc_back', size: 32 },
  { at: 'head', text: 'jz.a a4,xc_back', size: 32 },
  { at: 'head', text: 'jnz.t d5:31,xc_back', size: 32 },
  { at: 'head', text: 'jge.u d6,d7,xc_back', size: 32 },
  { at: 'head', text: 'j xc_mid', size: 32 },
  { at: 'head', text: 'call xc_mid', size: 32 },
  { at: 'head', text: 'jeq d3,#5,xc_mid', size: 32 },
  { at: 'head', text: 'jne d15,#3,xc_mid', size: 32 },
  { at: 'head', text: 'jz.t d3:5,xc_mid', size: 32 },
  { at: 'head', text: 'jlt d8,d9,xc_mid', size: 32 },
  { at: 'head', text: 'loop a3,xc_back', size: 32 },
  { at: 'head', text: 'j xc_far', size: 32 },
  { at: 'head', text: 'jl xc_far', size: 32 },
  { at: 'head', text: 'call xc_far', size: 32 },
  { at: 'head', text: 'jeq d3,#5,xc_far', reads: ['jne d3,#5,~next', 'j xc_far'] },
  { at: 'head', text: 'jnz.a a5,xc_far', reads: ['jz.a a5,~next', 'j xc_far'] },
  { at: 'head', text: 'j {first}' },
  { at: 'head', text: 'call {middle}' },
  { at: 'head', text: 'jne d1,d2,{last}' },
  // Forward 16-bit displacements reach 30 bytes only: these stand right before xc_fwd.
  // On TC1.6 the 16-bit forms of these two that take a label reach 32 to 62 bytes only.
  { at: 'head', text: 'jeq d15,#3,xc_fwd', size: 16, sizeOn: { 'tc1.6': 32 } },
  { at: 'head', text: 'jne d15,d5,xc_fwd', size: 16, sizeOn: { 'tc1.6': 32 } },
  { at: 'head', text: 'jz d15,xc_fwd', size: 16 },
  { at: 'head', text: 'jnz d6,xc_fwd', size: 16 },
  { at: 'head', text: 'jz.a a6,xc_fwd', size: 16 },
  { at: 'head', text: 'jnz.t d15:3,xc_fwd', size: 16 },
  { at: 'head', text: 'call xc_fwd', size: 16 },
  { at: 'head', text: 'j xc_fwd', size: 16 },
  { at: 'tail', text: 'j xc_far', size: 16 },
  { at: 'tail', text: 'call xc_far', size: 16 },
  { at: 'tail', text: 'loop a7,xc_far', size: 16 },
  { at: 'tail', text: 'jne d1,d2,xc_far', size: 32 },
  { at: 'tail', text: 'jz d15,xc_far', size: 16 },
  { at: 'tail', text: 'j xc_mid', size: 32 },
  { at: 'tail', text: 'call xc_back', size: 32 },
  { at: 'tail', text: 'jl xc_mid', size: 32 },
  { at: 'tail', text: 'jne d1,d2,xc_mid', reads: ['jeq d1,d2,~next', 'j xc_mid'] },
  { at: 'tail', text: 'jz.t d9:0,xc_back', reads: ['jnz.t d9:0,~next', 'j xc_back'] },
  { at: 'tail', text: 'j {first}', size: 32 },
  { at: 'tail', text: 'call {last}', size: 32 },
  { at: 'tail', text: 'jl {middle}', size: 32 },
  { at: 'tail', text: 'jeq d15,#0,xc_end', reads: ['jz d15,xc_end'], size: 16 },
  { at: 'tail', text: 'j xc_end', size: 16 },
];

// The statement of a sample in the object source: the size-marked spelling when the probe
// gives the form under test for it, and a label operand counted from the sample's label. (A
// displacement that the syntax takes as a plain number stays a number.)
function placedStatement(sample, sizedLine, plainLine, label) {
  const sized = !sizedLine.startsWith('error: ') && pickCandidate(sample, parseCandidates(sizedLine));
  let text = sized ? sample.sizedText : sample.text;
  const line = sized ? sizedLine : plainLine;
  const target = sample.tokens.find((t) => t.label);
  if (target) {
    const written = text.match(/-?\d+$/);
    if (!written || BigInt(written[0]) !== target.value) return null;
    const offset = target.value < 0n ? `-${-target.value}` : `+${target.value}`;
    text = text.slice(0, written.index) + label + offset;
  }
  return { text, candidates: parseCandidates(line) };
}

// A statement that vekt refused is `dropped`: a nop keeps its label for the branches.
function writeObjectSource(group, statements, dropped) {
  const lines = [' .SDECL ".text",CODE', ' .SECT ".text"'];
  const at = new Map();   // what stands on which source line, for the messages
  const place = (label, text, what) => {
    if (dropped.has(label)) {
      lines.push(`${label}: nop`);
      return;
    }
    lines.push(`${label}: ${text}`);
    at.set(label, { line: lines.length, text, what });
  };
  const sampleLabel = (k) => `xs_${group[Math.min(k, group.length - 1)]}`;
  const branchText = (text) => text.replace('{first}', sampleLabel(0))
    .replace('{middle}', sampleLabel(group.length >> 1)).replace('{last}', sampleLabel(group.length - 1));
  const branches = (where) => BRANCHES.forEach((branch, k) => {
    if (branch.at === where) {
      place(`xj_${k}`, branchText(branch.text), { branch, reads: (branch.reads ?? [branch.text]).map(branchText) });
    }
  });
  lines.push('xc_back: nop');
  branches('head');
  lines.push('xc_fwd: nop', ` .SPACE ${NEAR_GAP}`, 'xc_mid: nop');
  group.forEach((index) => place(`xs_${index}`, statements.get(index).text, { sample: index }));
  lines.push(` .SPACE ${FAR_GAP}`, 'xc_far: nop');
  branches('tail');
  lines.push('xc_end: nop', '');
  return { source: lines.join('\n'), at };
}

function hexOf(bytes) {
  return Buffer.from(bytes).toString('hex');
}

// The form of a branch that the decoder read: a form of the statement's mnemonic of the
// size read, whose opcode is in the first byte.
function branchForm(forms, name, decoded) {
  const firstByte = decoded.bytes[0];
  for (const form of forms) {
    if (form.size !== String(decoded.size * 8)) continue;
    const field = form.syntax.match(/label\{(\w+)\}/);
    if (!field) continue;
    const mask = op1MaskOf(form);
    const mnemonic = form.mnemonics.find((m) => m.name === name && m.decodedAs === decoded.mnemonic
      && (m.op1 & mask) === (firstByte & mask));
    if (mnemonic) return { form, mnemonic, field: field[1] };
  }
  return null;
}

// Checks one statement of a branch against the instruction read at its address.
function branchProblem(statement, decoded, targetOf, forms, core, used) {
  const [name, operandText] = statement.split(/\s+/, 2);
  const operands = operandText.replace(':', ',').split(',');
  const label = operands.pop();
  const target = targetOf(label);
  if (target === undefined) return `${label} is not in the symbol table`;
  const reading = `"${decoded.mnemonic} ${decoded.op_str}" (${hexOf(decoded.bytes)})`;
  const found = branchForm(forms, name, decoded);
  if (!found) return `reads ${reading}, which no ${decoded.size * 8}-bit form of ${name} gives`;
  const branch = {
    size: decoded.size * 8, mnemonic: found.mnemonic.decodedAs, core, tags: found.form.when,
    tokens: [
      ...decodedTokens(operands.join(',')).map((t) => (t.kind === 'num' ? { ...t, compare: { kind: 'exact' } } : t)),
      { kind: 'num', value: BigInt(target) - decoded.address, compare: { kind: 'address' }, field: found.field, relative: true },
    ],
  };
  return readingProblem(reading, decoded, expectedReading(branch, used, decoded.address));
}

function checkBranch(branch, statements, address, symbols, code, decoder, forms, core, used) {
  const size = branch.sizeOn?.[core] ?? branch.size;
  const decoded = decoder.disasm(Array.from(code.subarray(address, address + 4 * statements.length)), address)
    .slice(0, statements.length);
  if (decoded.length < statements.length) return `fewer than ${statements.length} instructions read`;
  const last = decoded[decoded.length - 1];
  const next = Number(last.address) + last.size;
  const targetOf = (label) => (label === '~next' ? next : symbols.get(label));
  for (const [k, statement] of statements.entries()) {
    const problem = branchProblem(statement, decoded[k], targetOf, forms, core, used);
    if (problem) return statements.length > 1 ? `${statement}: ${problem}` : problem;
    if (size && size !== decoded[k].size * 8) {
      return `the ${decoded[k].size * 8}-bit form was taken, the ${size}-bit one reaches`;
    }
  }
  return null;
}

// The bytes at a sample's label must be one of the probe's encodings of its statement; the
// encoding of the form under test must also read back as the sample, now at its address.
function checkPlacedSample(sample, statement, address, code, decoder, used) {
  const found = statement.candidates.find((c) => c.hex === hexOf(code.subarray(address, address + c.bits / 8)));
  if (!found) {
    const decoded = decoder.disasm(Array.from(code.subarray(address, address + 4)), address);
    const reading = decoded.length ? `"${decoded[0].mnemonic} ${decoded[0].op_str}" (${hexOf(decoded[0].bytes)})`
      : hexOf(code.subarray(address, address + 4));
    return { problem: `reads ${reading}; the probe gave ${statement.candidates.map((c) => c.text).join(' ')}` };
  }
  if (found !== pickCandidate(sample, statement.candidates)) return { otherForm: true };
  const decoded = decoder.disasm(hexBytes(found.hex), address);
  if (decoded.length !== 1) return { problem: `${found.text} does not decode as one instruction` };
  return { problem: readingProblem(found.text, decoded[0], expectedReading(sample, used, BigInt(address))) };
}

// Assembles the source of one group. Every statement that vekt refuses is reported and
// left out, and the rest assembled again, so that one refusal hides no other finding.
function assemble(vekt, key, base, writeSource) {
  const file = path.basename(`${base}.asm`);
  const dropped = new Set();
  let failed = 0;
  for (;;) {
    const { source, at } = writeSource(dropped);
    writeFileSync(`${base}.asm`, source);
    const result = spawnSync(vekt, [...key.split(' '), '--no-warnings', '--emit-locals', '-o', `${base}.o`, `${base}.asm`],
      { encoding: 'utf8', maxBuffer: 1 << 28 });
    if (result.error) fatal(`cannot run ${vekt}: ${result.error.message}`);
    if (result.status === 0) return { at, failed };
    const labelOfLine = new Map([...at].map(([label, { line }]) => [line, label]));
    let refused = 0;
    for (const diagnostic of result.stderr.split('\n')) {
      const m = diagnostic.match(/^vekt [EF]\d+: \[".*" (\d+)\]/);
      const label = m && labelOfLine.get(+m[1]);
      if (!label || dropped.has(label)) continue;
      dropped.add(label);
      refused++;
      failed++;
      console.log(`MISMATCH object ${file} line ${m[1]} "${at.get(label).text}": ${diagnostic}`);
    }
    if (refused === 0) {
      console.log(`MISMATCH object ${file} [${key}]: vekt exited with status ${result.status}\n${result.stderr}`);
      return { at: null, failed: failed + 1 };
    }
  }
}

function objectPhase(options, samples, probeLines, accepted, decoders, used) {
  const { forms } = readIsa(options.isa);
  const groups = new Map();
  for (const index of accepted) {
    const key = [`--core=${samples[index].core}`, ...samples[index].options].join(' ');
    if (!groups.has(key)) groups.set(key, []);
    groups.get(key).push(index);
  }
  const workDir = mkdtempSync(path.join(tmpdir(), 'vekt-xcheck-'));
  const counts = { failed: 0, placed: 0, otherForm: 0, branches: 0 };
  for (let [key, group] of groups) {
    const core = samples[group[0]].core;
    const sizedLines = runProbe(options.probe, group.map((i) => ({ ...samples[i], text: samples[i].sizedText })));
    const statements = new Map();
    group.forEach((index, k) => {
      const statement = placedStatement(samples[index], sizedLines[k], probeLines[index], `xs_${index}`);
      if (statement) {
        statements.set(index, statement);
        return;
      }
      counts.failed++;
      console.log(`MISMATCH object [${key}] form ${samples[index].rank} "${samples[index].text}": its branch target is not its last operand`);
    });
    group = group.filter((index) => statements.has(index));
    const base = path.join(workDir, key.replace(/^--core=/, '').replace(/[^\w.]+/g, '_'));
    const file = path.basename(`${base}.asm`);
    const assembled = assemble(options.vekt, key, base, (dropped) => writeObjectSource(group, statements, dropped));
    counts.failed += assembled.failed;
    if (!assembled.at) continue;
    const { at } = assembled;
    let elf;
    try {
      elf = readElf32(readFileSync(`${base}.o`));
    } catch (error) {
      counts.failed++;
      console.log(`MISMATCH object ${file}.o: ${error.message}`);
      continue;
    }
    const text = elf.sections.find((s) => s.name === '.text');
    if (!text?.data) fatal(`${base}.o has no .text contents`);
    const symbols = new Map(elf.symbols.filter((s) => s.shndx === text.index).map((s) => [s.name, s.value]));
    for (const [label, { line, text: statement, what }] of at) {
      const address = symbols.get(label);
      const sample = samples[what.sample];
      let problem = null;
      if (address === undefined) {
        problem = `label ${label} is not in the symbol table`;
      } else if (sample) {
        const placed = checkPlacedSample(sample, statements.get(what.sample), address, text.data, decoders[core], used);
        problem = placed.problem ?? null;
        if (placed.otherForm) counts.otherForm++;
        counts.placed++;
      } else {
        problem = checkBranch(what.branch, what.reads, address, symbols, text.data, decoders[core], forms, core, used);
        counts.branches++;
      }
      if (problem === null) continue;
      counts.failed++;
      const where = address === undefined ? '' : ` at 0x${address.toString(16)}`;
      console.log(`MISMATCH object ${file} line ${line}${sample ? ` form ${sample.rank}` : ''} "${statement}"${where}: ${problem}`);
    }
  }
  if (counts.failed === 0) rmSync(workDir, { recursive: true, force: true });
  else console.log(`xcheck: the object sources are kept in ${workDir}`);
  console.log(`xcheck: object file: ${counts.placed} samples read back at their labels (${counts.otherForm} `
    + `encoded by another form of the same statement), ${counts.branches} jumps and calls; ${counts.failed} failed`);
  return counts.failed;
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
  const accepted = [];
  let failed = 0;
  // The object phase takes the samples that this phase accepts, so it always runs.
  samples.forEach((sample, i) => {
    const problem = checkSample(sample, lines[i], decoders, used);
    if (problem === null && !sample.rejected) accepted.push(i);
    if (problem === null) return;
    failed++;
    failedForms.add(sample.rank);
    if (options.phase !== 'object') {
      console.log(`MISMATCH form ${sample.rank} [${[`--core=${sample.core}`, ...sample.options].join(' ')}] "${sample.text}": ${problem}`);
    }
  });
  if (options.phase === 'object') return objectPhase(options, samples, lines, accepted, decoders, used) === 0 ? 0 : 1;
  const objectFailed = options.phase === 'both' ? objectPhase(options, samples, lines, accepted, decoders, used) : 0;
  for (const exception of EXCEPTIONS) {
    if (!used.has(exception.name)) console.log(`note: exception ${exception.name} was not needed by any sample`);
  }
  const forms = new Set(samples.map((s) => s.rank)).size;
  console.log(`xcheck: ${samples.length} samples of ${forms} forms, ${failedForms.size} forms with mismatches`);
  console.log(`xcheck: ${samples.length - failed} passed, ${failed} failed`);
  return failed === 0 && objectFailed === 0 ? 0 : 1;
}

process.exitCode = await main();
