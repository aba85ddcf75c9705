// Just enough of an ELF32 little-endian reader for the cross-check: section headers with
// their names, section contents, and the symbols of .symtab with names from its string
// table. Every offset is checked against the file size, so a damaged object gives an error
// message rather than garbage.

const SHT_SYMTAB = 2;
const SHT_NOBITS = 8;

export function readElf32(buffer) {
  const fail = (what) => { throw new Error(`not a readable ELF32 object: ${what}`); };
  const within = (offset, size, what) => {
    if (offset < 0 || size < 0 || offset + size > buffer.length) fail(`${what} lies outside the file`);
  };
  within(0, 52, 'the file header');
  if (buffer.readUInt32BE(0) !== 0x7F454C46) fail('no ELF magic');
  if (buffer[4] !== 1) fail(`class ${buffer[4]}, not 32-bit`);
  if (buffer[5] !== 1) fail(`data encoding ${buffer[5]}, not little endian`);
  const shoff = buffer.readUInt32LE(32);
  const shentsize = buffer.readUInt16LE(46);
  const shnum = buffer.readUInt16LE(48);
  const shstrndx = buffer.readUInt16LE(50);
  if (shentsize !== 40) fail(`section header size ${shentsize}`);
  within(shoff, shnum * shentsize, 'the section header table');

  const sections = [];
  for (let i = 0; i < shnum; i++) {
    const at = shoff + i * shentsize;
    const word = (field) => buffer.readUInt32LE(at + 4 * field);
    sections.push({
      index: i, nameOffset: word(0), type: word(1), flags: word(2), addr: word(3),
      offset: word(4), size: word(5), link: word(6), info: word(7), entsize: word(9),
    });
  }
  if (shstrndx >= shnum) fail(`section name table index ${shstrndx}`);
  const stringAt = (table, offset) => {
    const start = table.offset + offset;
    if (offset >= table.size) fail(`string offset ${offset} beyond its table`);
    const end = buffer.indexOf(0, start);
    if (end < 0 || end >= table.offset + table.size) fail('unterminated string');
    return buffer.toString('latin1', start, end);
  };
  for (const section of sections) {
    section.name = section.index === 0 ? '' : stringAt(sections[shstrndx], section.nameOffset);
    if (section.type !== SHT_NOBITS) within(section.offset, section.size, `section ${section.name}`);
    section.data = section.type === SHT_NOBITS ? null : buffer.subarray(section.offset, section.offset + section.size);
  }

  const symbols = [];
  const symtab = sections.find((s) => s.type === SHT_SYMTAB);
  if (symtab) {
    if (symtab.entsize !== 16) fail(`symbol entry size ${symtab.entsize}`);
    if (symtab.link >= shnum) fail(`symbol string table index ${symtab.link}`);
    const strtab = sections[symtab.link];
    for (let at = symtab.offset; at + 16 <= symtab.offset + symtab.size; at += 16) {
      const info = buffer[at + 12];
      symbols.push({
        name: stringAt(strtab, buffer.readUInt32LE(at)),
        value: buffer.readUInt32LE(at + 4),
        size: buffer.readUInt32LE(at + 8),
        bind: info >> 4,
        type: info & 0xF,
        shndx: buffer.readUInt16LE(at + 14),
      });
    }
  }
  return { sections, symbols };
}
