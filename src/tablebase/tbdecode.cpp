// Table decoding: mapping and parsing a table file on first use, and reading
// the stored value of a position.
//
// Table files come from the user's disk and may be damaged. Every offset and
// length taken from a file is checked against the mapped size before it is
// used, so a truncated or inconsistent file is refused ("Corrupted table.")
// instead of being read out of bounds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tablebase/tbinternal.h"
#include "tablebase/tbprobe.h"

static const int WDL_TO_MAP[5] = {1, 3, 0, 2, 0};
static const u8 PLY_FLAGS[5] = {8, 0, 0, 0, 4};

static inline u32 readLe32(const u8 *p) { return (u32)p[0] | (u32)p[1] << 8 | (u32)p[2] << 16 | (u32)p[3] << 24; }
static inline u16 readLe16(const u8 *p) { return (u16)(p[0] | p[1] << 8); }

// Big-endian reads that never pass `end`: bytes beyond it read as zero. Only
// the bits of codes still being decoded can come from there, and those never
// decide a symbol of a sound file. Words are copied out byte-wise (memcpy),
// since a crafted file can put a block at any address.
static inline u64 readBe64(const u8 *p, const u8 *end) {
    if (end - p >= 8) {
        u64 v;
        std::memcpy(&v, p, 8);
        return __builtin_bswap64(v);
    }
    u64 v = 0;
    for (int i = 0; i < 8; i++) v = (v << 8) | (p + i < end ? p[i] : 0);
    return v;
}
static inline u32 readBe32(const u8 *p, const u8 *end) {
    if (end - p >= 4) {
        u32 v;
        std::memcpy(&v, p, 4);
        return __builtin_bswap32(v);
    }
    u32 v = 0;
    for (int i = 0; i < 4; i++) v = (v << 8) | (p + i < end ? p[i] : 0);
    return v;
}

static const char *kindSuffix(int kind) { return kind == WDL ? ".rtbw" : kind == DTZ ? ".rtbz" : ".rtbm"; }

u64 materialKey(const TbPosition *pos, bool swap) {
    const u64 sets[5] = {pos->queens, pos->rooks, pos->bishops, pos->knights, pos->pawns};
    u64 white = swap ? pos->black : pos->white;
    u64 black = swap ? pos->white : pos->black;
    u64 key = 0;
    for (int t = 0; t < 5; t++)
        key += (u64)__builtin_popcountll(sets[t] & white) * MATERIAL_KEYS[0][t] +
               (u64)__builtin_popcountll(sets[t] & black) * MATERIAL_KEYS[1][t];
    return key;
}

void tableName(const TbPosition *pos, bool swap, char *name) {
    const u64 sets[6] = {pos->kings, pos->queens, pos->rooks, pos->bishops, pos->knights, pos->pawns};
    static const char LETTERS[] = "KQRBNP";
    u64 first = swap ? pos->black : pos->white;
    u64 second = swap ? pos->white : pos->black;
    int n = 0;
    for (int side = 0; side < 2; side++) {
        u64 colour = side == 0 ? first : second;
        for (int t = 0; t < 6; t++)
            for (int c = __builtin_popcountll(sets[t] & colour); c > 0 && n < 15; c--) name[n++] = LETTERS[t];
        if (side == 0) name[n++] = 'v';
    }
    name[n] = 0;
}

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

namespace {

// Bounds of the mapped file while it is parsed.
struct FileCursor {
    const u8 *base;
    u64 size;
    u64 pos;
    bool have(u64 n) const { return pos <= size && n <= size - pos; }
    const u8 *here() const { return base + pos; }
};

struct SubTableSizes {
    u64 index_bytes, size_bytes, block_bytes;
};

// Symbol lengths, with every reference checked: a pair must name existing
// symbols, must not refer back to itself through its children, and must
// not expand to more than 256 values.
bool computeSymbolLength(CompressedTable *d, u8 *state, u32 s, int depth) {
    if (state[s] == 2) return true;
    if (state[s] == 1 || depth > TB_MAX_SYMS) return false;
    state[s] = 1;
    const u8 *w = d->symbol_pairs + 3 * s;
    u32 s2 = (u32)((w[2] << 4) | (w[1] >> 4));
    if (s2 == 0xFFF) {
        d->symbol_length[s] = 0;
    } else {
        u32 s1 = (u32)(((w[1] & 0xf) << 8) | w[0]);
        if (s1 >= d->num_syms || s2 >= d->num_syms) return false;
        if (!computeSymbolLength(d, state, s1, depth + 1) || !computeSymbolLength(d, state, s2, depth + 1))
            return false;
        u32 len = (u32)d->symbol_length[s1] + d->symbol_length[s2] + 1;
        if (len > 255) return false;
        d->symbol_length[s] = (u8)len;
    }
    state[s] = 2;
    return true;
}

// Parses one compressed-table header at the cursor and advances past it.
// Returns nullptr when the header is inconsistent or runs past the file.
CompressedTable *setupCompression(FileCursor &c, u64 size, SubTableSizes *sizes, u8 *flags, int kind) {
    if (!c.have(1)) return nullptr;
    const u8 *p = c.here();
    *flags = p[0];
    CompressedTable *d = new (std::nothrow) CompressedTable();
    if (!d) {
        std::fprintf(stderr, "Out of memory.\n");
        std::exit(1);
    }
    d->file_end = c.base + c.size;
    if (p[0] & 0x80) {
        if (!c.have(2) || (kind == WDL && p[1] > 4)) {
            delete d;
            return nullptr;
        }
        d->index_bits = 0;
        d->const_value[0] = kind == WDL ? p[1] : 0;
        d->const_value[1] = 0;
        c.pos += 2;
        sizes->index_bytes = sizes->size_bytes = sizes->block_bytes = 0;
        return d;
    }

    bool ok = c.have(10);
    u32 extra = 0, num_blocks = 0, h = 0;
    if (ok) {
        d->block_size = p[1];
        d->index_bits = p[2];
        extra = p[3];
        num_blocks = readLe32(p + 4);
        d->max_len = p[8];
        d->min_len = p[9];
        ok = d->min_len >= 1 && d->max_len >= d->min_len && d->max_len <= TB_MAX_CODE_LEN &&
             d->index_bits >= 1 && d->index_bits <= 62 && d->block_size <= 32;
    }
    if (ok) {
        h = (u32)(d->max_len - d->min_len + 1);
        ok = c.have(12 + 2 * (u64)h);
    }
    if (ok) {
        d->num_syms = readLe16(p + 10 + 2 * h);
        // A symbol count of TB_MAX_SYMS or more cannot come from a sound file.
        ok = d->num_syms < TB_MAX_SYMS && c.have(12 + 2 * (u64)h + 3 * (u64)d->num_syms + (d->num_syms & 1));
    }
    if (!ok) {
        delete d;
        return nullptr;
    }
    d->symbol_pairs = p + 12 + 2 * h;
    d->num_blocks = num_blocks;
    d->size_entries = num_blocks + extra;
    d->index_entries = (size + (1ULL << d->index_bits) - 1) >> d->index_bits;
    d->symbol_length = new (std::nothrow) u8[d->num_syms ? d->num_syms : 1];
    if (!d->symbol_length) {
        std::fprintf(stderr, "Out of memory.\n");
        std::exit(1);
    }

    u8 state[TB_MAX_SYMS] = {0};
    for (u32 s = 0; s < d->num_syms && ok; s++) ok = computeSymbolLength(d, state, s, 0);
    // Leaves of a WDL table hold the value byte, 0..4.
    for (u32 s = 0; s < d->num_syms && ok && kind == WDL; s++) {
        const u8 *w = d->symbol_pairs + 3 * s;
        if (((w[2] << 4) | (w[1] >> 4)) == 0xFFF && w[0] > 4) ok = false;
    }
    if (!ok) {
        delete[] d->symbol_length;
        delete d;
        return nullptr;
    }

    // Canonical Huffman code: smallest code of each length, left-aligned,
    // and the first symbol of each length, both indexed by the length.
    const u8 *offsets = p + 10;
    u64 base[TB_MAX_CODE_LEN + 1];
    base[h - 1] = 0;
    for (int i = (int)h - 2; i >= 0; i--)
        base[i] = (base[i + 1] + readLe16(offsets + 2 * i) - readLe16(offsets + 2 * (i + 1))) / 2;
    for (u32 l = 0; l <= TB_MAX_CODE_LEN; l++) {
        d->code_base[l] = 0;
        d->code_offset[l] = 0;
    }
    for (u32 i = 0; i < h; i++) {
        u32 l = d->min_len + i;
        d->code_base[l] = base[i] << (64 - l);
        d->code_offset[l] = readLe16(offsets + 2 * i);
    }

    c.pos += 12 + 2 * (u64)h + 3 * (u64)d->num_syms + (d->num_syms & 1);
    sizes->index_bytes = 6 * d->index_entries;
    sizes->size_bytes = 2 * (u64)d->size_entries;
    // R blocks of 2^block_size bytes must fit in the file.
    if ((u64)num_blocks > (c.size >> d->block_size)) {
        delete[] d->symbol_length;
        delete d;
        return nullptr;
    }
    sizes->block_bytes = (u64)num_blocks << d->block_size;
    return d;
}

// The piece codes of one sub-table must describe exactly the table's
// material, each kind of piece in one run, with the leading pawns first in a
// pawn table; otherwise filling the square list could overrun it.
bool validCodes(const Encoding *enc, const TableEntry *entry, const int *expected, int lead_code) {
    int n = entry->num_pieces;
    int seen[16] = {0};
    for (int i = 0; i < n; i++) {
        int code = enc->codes[i];
        if ((code & 7) == 0 || (code & 7) == 7) return false;
        if (seen[code] && enc->codes[i - 1] != code) return false;
        seen[code]++;
    }
    for (int code = 0; code < 16; code++)
        if (seen[code] != expected[code]) return false;
    if (entry->has_pawns) {
        const u8 *pc = pawnCount(entry);
        if ((lead_code & 7) != 1 || expected[lead_code] != pc[0]) return false;
        for (int i = 0; i < pc[0]; i++)
            if (enc->codes[i] != lead_code) return false;
        for (int i = pc[0]; i < pc[0] + pc[1]; i++)
            if (enc->codes[i] != (lead_code ^ 8)) return false;
    }
    return true;
}

}  // namespace

static Encoding *encodingOf(TableEntry *entry, int kind, int t, int side) {
    if (entry->has_pawns) {
        PawnTable *pt = static_cast<PawnTable *>(entry);
        return kind == WDL ? &pt->wdl_encoding[t + 4 * side] : &pt->dtz_encoding[t];
    }
    PieceTable *pt = static_cast<PieceTable *>(entry);
    return kind == WDL ? &pt->encoding[side] : &pt->encoding[2];
}

// Parses a mapped file into the entry's records of one kind.
static bool parseTable(TableEntry *entry, const char *name, int kind, const u8 *view, u64 file_size) {
    FileCursor c = {view, file_size, 0};
    if (!c.have(5) || readLe32(view) != (kind == WDL ? WDL_MAGIC : DTZ_MAGIC)) return false;

    int expected[16] = {0};
    for (int side = 0, i = 0; name[i]; i++) {
        if (name[i] == 'v') {
            side = 1;
            continue;
        }
        const char *letter = std::strchr("PNBRQK", name[i]);
        if (!letter) return false;
        expected[(letter - "PNBRQK" + 1) | (side ? 8 : 0)]++;
    }

    bool split = kind == WDL && (view[4] & 1);
    int files = entry->has_pawns ? 4 : 1;
    int block_len = entry->num_pieces + 1 + (entry->has_pawns && pawnCount(entry)[1] > 0);
    u64 sub_size[4][2] = {{0}};
    c.pos = 5;
    int lead_code = 0;
    for (int t = 0; t < files; t++) {
        if (!c.have((u64)block_len)) return false;
        for (int side = 0; side < (split ? 2 : 1); side++) {
            Encoding *enc = encodingOf(entry, kind, t, side);
            sub_size[t][side] = initEncoding(enc, entry, c.here(), side ? 4 : 0, t, entry->has_pawns);
            if (t == 0 && side == 0) lead_code = enc->codes[0];
            if (!sub_size[t][side] || !validCodes(enc, entry, expected, lead_code)) return false;
        }
        c.pos += (u64)block_len;
    }
    c.pos += c.pos & 1;

    SubTableSizes sizes[4][2] = {};
    u8 flags[4] = {0};
    for (int t = 0; t < files; t++)
        for (int side = 0; side < (split ? 2 : 1); side++) {
            Encoding *enc = encodingOf(entry, kind, t, side);
            u8 f = 0;
            enc->compressed = setupCompression(c, sub_size[t][side], &sizes[t][side], &f, kind);
            if (!enc->compressed) return false;
            if (side == 0) flags[t] = f;
        }

    if (kind == DTZ) {
        const u8 *map = c.here();
        u64 map_start = c.pos;
        for (int t = 0; t < files; t++) {
            u16 *map_index = entry->has_pawns ? static_cast<PawnTable *>(entry)->dtz_map_index[t]
                                              : static_cast<PieceTable *>(entry)->dtz_map_index;
            u16 *map_length = entry->has_pawns ? static_cast<PawnTable *>(entry)->dtz_map_length[t]
                                               : static_cast<PieceTable *>(entry)->dtz_map_length;
            if (entry->has_pawns)
                static_cast<PawnTable *>(entry)->dtz_flags[t] = flags[t];
            else
                static_cast<PieceTable *>(entry)->dtz_flags = flags[t];
            if (!(flags[t] & 2)) continue;
            if (flags[t] & 16) {
                if (map_start & 1) return false;
                c.pos += c.pos & 1;
                for (int i = 0; i < 4; i++) {
                    if (!c.have(2)) return false;
                    u64 len = readLe16(c.here());
                    u64 first = (c.pos + 2 - map_start) / 2;
                    if (first > 0xffff || !c.have(2 + 2 * len)) return false;
                    map_index[i] = (u16)first;
                    map_length[i] = (u16)len;
                    c.pos += 2 + 2 * len;
                }
            } else {
                for (int i = 0; i < 4; i++) {
                    if (!c.have(1)) return false;
                    u64 len = *c.here();
                    u64 first = c.pos + 1 - map_start;
                    if (first > 0xffff || !c.have(1 + len)) return false;
                    map_index[i] = (u16)first;
                    map_length[i] = (u16)len;
                    c.pos += 1 + len;
                }
            }
        }
        c.pos += c.pos & 1;
        if (entry->has_pawns)
            static_cast<PawnTable *>(entry)->dtz_map = map;
        else
            static_cast<PieceTable *>(entry)->dtz_map = map;
    }

    for (int t = 0; t < files; t++)
        for (int side = 0; side < (split ? 2 : 1); side++) {
            if (!c.have(sizes[t][side].index_bytes)) return false;
            encodingOf(entry, kind, t, side)->compressed->index_table = c.here();
            c.pos += sizes[t][side].index_bytes;
        }
    for (int t = 0; t < files; t++)
        for (int side = 0; side < (split ? 2 : 1); side++) {
            if (!c.have(sizes[t][side].size_bytes)) return false;
            encodingOf(entry, kind, t, side)->compressed->size_table = c.here();
            c.pos += sizes[t][side].size_bytes;
        }
    for (int t = 0; t < files; t++)
        for (int side = 0; side < (split ? 2 : 1); side++) {
            CompressedTable *d = encodingOf(entry, kind, t, side)->compressed;
            if (d->index_bits == 0) continue;
            c.pos = (c.pos + 63) & ~(u64)63;
            if (!c.have(sizes[t][side].block_bytes)) return false;
            d->blocks = c.here();
            c.pos += sizes[t][side].block_bytes;
        }
    return true;
}

bool loadTable(TableEntry *entry, const char *name, int kind) {
    const char *suffix = kindSuffix(kind);
    FileHandle file = openTableFile(name, suffix);
    if (file == INVALID_FILE) return false;

    u64 size = 0;
    unsigned long error = 0;
    if (!fileSize(file, &size)) {
        error = 0;
        std::fprintf(stderr, "CreateFileMapping() failed, error = %lu.\n", error);
        std::fprintf(stderr, "Could not map %s%s into memory.\n", name, suffix);
        std::exit(1);
    }
    if (size < 16) {
        // Nothing to map: an emptied or cut-short file.
        closeFile(file);
        reportCorruptedTable(name, suffix);
        return false;
    }
    MappingHandle mapping = NO_MAPPING;
    if (!createFileMapping(file, size, &mapping, &error)) {
        std::fprintf(stderr, "CreateFileMapping() failed, error = %lu.\n", error);
        std::fprintf(stderr, "Could not map %s%s into memory.\n", name, suffix);
        std::exit(1);
    }
    const u8 *view = mapView(mapping, size, &error);
    closeFile(file);
    if (!view) {
        std::fprintf(stderr, "MapViewOfFile() failed, error = %lu.\n", error);
        std::fprintf(stderr, "Could not map %s%s into memory.\n", name, suffix);
        std::exit(1);
    }
    entry->view[kind] = view;
    entry->map_size[kind] = size;
    entry->map_handle[kind] = mapping;

    if (!parseTable(entry, name, kind, view, size)) {
        reportCorruptedTable(name, suffix);
        releaseView(entry, kind);
        freeKindData(entry, kind);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Reading a value
// ---------------------------------------------------------------------------

const u8 *decompressValue(const CompressedTable *d, u64 index) {
    if (d->index_bits == 0) return d->const_value;

    u64 main_idx = index >> d->index_bits;
    if (main_idx >= d->index_entries) return nullptr;
    i64 lit = (i64)(index & ((1ULL << d->index_bits) - 1)) - (i64)(1ULL << (d->index_bits - 1));
    const u8 *entry = d->index_table + 6 * main_idx;
    u32 block = readLe32(entry);
    lit += readLe16(entry + 4);
    if (block >= d->size_entries) return nullptr;

    if (lit < 0) {
        do {
            if (block == 0) return nullptr;
            block--;
            lit += (i64)readLe16(d->size_table + 2 * (u64)block) + 1;
        } while (lit < 0);
    } else {
        while (lit > (i64)readLe16(d->size_table + 2 * (u64)block)) {
            lit -= (i64)readLe16(d->size_table + 2 * (u64)block) + 1;
            if (++block >= d->size_entries) return nullptr;
        }
    }
    if (block >= d->num_blocks) return nullptr;

    const u8 *ptr = d->blocks + ((u64)block << d->block_size);
    const u8 *end = d->file_end;
    u64 code = readBe64(ptr, end);
    ptr += 8;
    int bit_count = 0;
    u32 sym;
    for (;;) {
        int l = d->min_len;
        while (code < d->code_base[l]) l++;
        sym = d->code_offset[l] + (u32)((code - d->code_base[l]) >> (64 - l));
        if (sym >= d->num_syms) return nullptr;
        if (lit <= (i64)d->symbol_length[sym]) break;
        lit -= (i64)d->symbol_length[sym] + 1;
        code <<= l;
        bit_count += l;
        if (bit_count >= 32) {
            bit_count -= 32;
            code |= (u64)readBe32(ptr, end) << bit_count;
            ptr += 4;
        }
    }
    while (d->symbol_length[sym] != 0) {
        const u8 *w = d->symbol_pairs + 3 * sym;
        u32 s1 = (u32)(((w[1] & 0xf) << 8) | w[0]);
        if (lit <= (i64)d->symbol_length[s1]) {
            sym = s1;
        } else {
            lit -= (i64)d->symbol_length[s1] + 1;
            sym = (u32)((w[2] << 4) | (w[1] >> 4));
        }
    }
    return d->symbol_pairs + 3 * sym;
}

// ---------------------------------------------------------------------------
// Probing one table
// ---------------------------------------------------------------------------

static inline u64 piecesOfCode(const TbPosition *pos, int code, bool flip) {
    u64 colour = ((code & 8) != 0) != flip ? pos->black : pos->white;
    switch (code & 7) {
    case 1: return pos->pawns & colour;
    case 2: return pos->knights & colour;
    case 3: return pos->bishops & colour;
    case 4: return pos->rooks & colour;
    case 5: return pos->queens & colour;
    default: return pos->kings & colour;
    }
}

// A table whose stored data turned out to be inconsistent while a value was
// read: refuse it like a file that failed to load.
// Several searching threads may find the same fault at once: the lock lets
// one of them report it.
static void refuseTable(TableEntry *entry, const TbPosition *pos, u64 key, int kind) {
    MutexLock lock(tb_mutex);
    if (kind == DTZ ? !__atomic_load_n(&entry->dtz_available, __ATOMIC_RELAXED) : !tableLinked(entry, key)) return;
    char name[16];
    tableName(pos, entry->key != key, name);
    reportCorruptedTable(name, kindSuffix(kind));
    if (kind == DTZ)
        __atomic_store_n(&entry->dtz_available, 0, __ATOMIC_RELAXED);
    else
        unlinkTableEntry(entry);
}

int probeTable(const TbPosition *pos, int wdl, int *success, int kind) {
    u64 key = materialKey(pos, false);
    if (kind == WDL && key == 0) return 0;

    TableEntry *entry = linkedTable(key);
    if (!entry || (kind == DTZ && !__atomic_load_n(&entry->dtz_available, __ATOMIC_RELAXED))) {
        *success = 0;
        return 0;
    }
    // Only positions of the table's material, without pawns on the first or
    // last rank, have an index.
    if (__builtin_popcountll(pos->white | pos->black) != entry->num_pieces ||
        (pos->pawns & 0xff000000000000ffULL)) {
        *success = 0;
        return 0;
    }

    // The first probe of a table maps its file. Searching threads may come
    // here together: one maps the file under the lock while the others wait
    // for it; the release store of loaded publishes the mapped table to every
    // thread that reads loaded with acquire.
    if (!__atomic_load_n(&entry->loaded[kind], __ATOMIC_ACQUIRE)) {
        MutexLock lock(tb_mutex);
        if (!__atomic_load_n(&entry->loaded[kind], __ATOMIC_ACQUIRE)) {
            // Another thread may have refused the file meanwhile.
            if (kind == DTZ ? !__atomic_load_n(&entry->dtz_available, __ATOMIC_RELAXED) : !tableLinked(entry, key)) {
                *success = 0;
                return 0;
            }
            char name[16];
            tableName(pos, entry->key != key, name);
            if (!loadTable(entry, name, kind)) {
                // A WDL file that cannot be used makes the material unreachable;
                // a bad DTZ file only takes away the DTZ answers.
                if (kind == DTZ)
                    __atomic_store_n(&entry->dtz_available, 0, __ATOMIC_RELAXED);
                else
                    unlinkTableEntry(entry);
                *success = 0;
                return 0;
            }
            __atomic_store_n(&entry->loaded[kind], 1, __ATOMIC_RELEASE);
        }
    }

    bool flip, bside;
    if (!entry->symmetric) {
        flip = entry->key != key;
        bside = flip == (pos->turn != 0);
    } else {
        flip = pos->turn == 0;
        bside = false;
    }

    int p[TB_MAX_PIECES];
    Encoding *enc;
    u8 flags = 0;
    int t = 0;
    u64 index;
    int n = entry->num_pieces;
    if (!entry->has_pawns) {
        PieceTable *pt = static_cast<PieceTable *>(entry);
        if (kind == DTZ) {
            flags = pt->dtz_flags;
            if ((flags & 1) != (int)bside && !entry->symmetric) {
                *success = -1;
                return 0;
            }
        }
        enc = kind == WDL ? &pt->encoding[bside] : &pt->encoding[2];
        if (!enc->compressed) {
            *success = 0;
            return 0;
        }
        for (int i = 0; i < n;) {
            u64 bb = piecesOfCode(pos, enc->codes[i], flip);
            if (!bb) {
                *success = 0;
                return 0;
            }
            while (bb && i < n) p[i++] = __builtin_ctzll(bb), bb &= bb - 1;
        }
        index = encodePieces(p, enc, entry);
    } else {
        PawnTable *pt = static_cast<PawnTable *>(entry);
        int mirror = flip ? 56 : 0;
        Encoding *first = kind == WDL ? &pt->wdl_encoding[0] : &pt->dtz_encoding[0];
        u64 bb = piecesOfCode(pos, first->codes[0], flip);
        int i = 0;
        while (bb && i < n) p[i++] = __builtin_ctzll(bb) ^ mirror, bb &= bb - 1;
        if (i != pt->pawn_count[0]) {
            *success = 0;
            return 0;
        }
        for (int j = 1; j < i; j++)
            if (FLAP[p[0]] > FLAP[p[j]]) {
                int tmp = p[0];
                p[0] = p[j];
                p[j] = tmp;
            }
        t = FILE_TO_FILE[p[0] & 7];
        if (kind == DTZ) {
            flags = pt->dtz_flags[t];
            if ((flags & 1) != (int)bside && !entry->symmetric) {
                *success = -1;
                return 0;
            }
        }
        enc = kind == WDL ? &pt->wdl_encoding[t + 4 * bside] : &pt->dtz_encoding[t];
        if (!enc->compressed) {
            *success = 0;
            return 0;
        }
        while (i < n) {
            bb = piecesOfCode(pos, enc->codes[i], flip);
            if (!bb) {
                *success = 0;
                return 0;
            }
            while (bb && i < n) p[i++] = (__builtin_ctzll(bb)) ^ mirror, bb &= bb - 1;
        }
        index = encodePawns(p, enc, entry);
    }

    const u8 *w = index < enc->size ? decompressValue(enc->compressed, index) : nullptr;
    if (!w) {
        refuseTable(entry, pos, key, kind);
        *success = 0;
        return 0;
    }
    if (kind == WDL) return (int)w[0] - 2;

    int v = w[0] + ((w[1] & 0x0f) << 8);
    if (flags & 2) {
        int m = WDL_TO_MAP[wdl + 2];
        const u8 *map;
        u16 first, length;
        if (entry->has_pawns) {
            PawnTable *pt = static_cast<PawnTable *>(entry);
            map = pt->dtz_map;
            first = pt->dtz_map_index[t][m];
            length = pt->dtz_map_length[t][m];
        } else {
            PieceTable *pt = static_cast<PieceTable *>(entry);
            map = pt->dtz_map;
            first = pt->dtz_map_index[m];
            length = pt->dtz_map_length[m];
        }
        if (v >= length) {
            refuseTable(entry, pos, key, kind);
            *success = 0;
            return 0;
        }
        v = (flags & 16) ? readLe16(map + 2 * ((u64)first + (u64)v)) : map[first + v];
    }
    if (!((flags & PLY_FLAGS[wdl + 2]) && !(wdl & 1))) v *= 2;
    return v;
}
