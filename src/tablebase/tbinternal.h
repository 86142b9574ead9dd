// Internal records of the tablebase code, shared by the registry, the
// decoder, the indexing and the probes. Not for use outside src/tablebase.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/types.h"
#include "platform/mapped_file.h"
#include "platform/mutex.h"
#include "tablebase/tbchess.h"

// Table kinds; records hold one value per kind in this order.
enum : int { WDL = 0, DTM = 1, DTZ = 2, TB_KINDS = 3 };

constexpr int TB_MAX_PIECE_TABLES = 650;
constexpr int TB_MAX_PAWN_TABLES = 861;
constexpr int TB_HASH_SIZE = 4096;
constexpr int TB_HASH_BITS = 12;
constexpr int TB_MAX_SYMS = 4096;
constexpr int TB_MAX_PIECES = 7;
// Longest Huffman code the decoder can handle: it refills 32 bits at a time
// into a 64-bit window.
constexpr int TB_MAX_CODE_LEN = 32;

constexpr u32 WDL_MAGIC = 0x5d23e871;
constexpr u32 DTZ_MAGIC = 0xa50c66d7;
constexpr u32 DTM_MAGIC = 0x88ac504b;

// Decoding data of one sub-table. The pointers point into the mapped file;
// symbol_length is owned.
struct CompressedTable {
    const u8 *index_table;      // 6 bytes per 2^index_bits positions
    const u8 *size_table;       // u16 per block: values in the block minus 1
    const u8 *blocks;           // 2^block_size bytes per block
    const u8 *symbol_pairs;     // 3 bytes per symbol
    const u8 *file_end;         // end of the mapped file: no read goes past it
    u8 *symbol_length;          // per symbol: values it expands to, minus 1
    u64 code_base[TB_MAX_CODE_LEN + 1];    // by code length: smallest code, left-aligned
    u32 code_offset[TB_MAX_CODE_LEN + 1];  // by code length: first symbol of that length
    u64 index_entries;          // entries of index_table
    u32 num_blocks;             // blocks stored (R)
    u32 size_entries;           // entries of size_table (R + extra)
    u32 num_syms;
    u8 block_size, index_bits, min_len, max_len;
    u8 const_value[2];          // value bytes of a constant table (index_bits 0)
};

struct Encoding {
    CompressedTable *compressed;   // nullptr for side 1 of a one-sided WDL file
    u64 factor[TB_MAX_PIECES];
    u64 size;                      // positions of the sub-table
    u8 codes[TB_MAX_PIECES];       // piece codes in table order
    u8 group[TB_MAX_PIECES];       // size of the run starting here, 0 inside a run
};

struct TableEntry {
    u64 key;
    const u8 *view[TB_KINDS];
    u64 map_size[TB_KINDS];        // size of the mapped view
    MappingHandle map_handle[TB_KINDS];
    u8 loaded[TB_KINDS];
    u8 num_pieces;
    u8 symmetric;
    u8 has_pawns;
    u8 dtm_available;
    u8 dtz_available;
};

struct PieceTable : TableEntry {
    u8 kings_paired;
    Encoding encoding[3];          // WDL side 0, WDL side 1, DTZ
    const u8 *dtz_map;
    u16 dtz_map_index[4];
    u16 dtz_map_length[4];
    u8 dtz_flags;
};

struct PawnTable : TableEntry {
    u8 pawn_count[2];
    Encoding wdl_encoding[8];      // file + 4 * side
    Encoding dtz_encoding[4];      // per file
    const u8 *dtz_map;
    u16 dtz_map_index[4][4];
    u16 dtz_map_length[4][4];
    u8 dtz_flags[4];
};

struct TableSlot {
    u64 key;
    TableEntry *entry;
};

// Registry (tbregistry.cpp).
extern PieceTable *pawnless_tables;
extern PawnTable *pawn_tables;
extern int num_pawnless_tables, num_pawn_tables;
extern TableSlot table_hash[TB_HASH_SIZE];
extern MutexHandle tb_mutex;
extern int max_table_pieces, max_dtm_table_pieces;

// The names tried at registration, in their fixed order.
constexpr int TB_NUM_NAMES = 1511;
extern char table_names[TB_NUM_NAMES][16];
void buildTableNames();

// Directory list of the current registry.
extern int num_tb_paths;
extern char **tb_paths;

// Material key constants, [colour of the name's side: 0 first, 1 second][Q, R, B, N, P].
extern const u64 MATERIAL_KEYS[2][5];

// Opens name + extension in the first directory of the path that holds it;
// INVALID_FILE when none does.
FileHandle openTableFile(const char *name, const char *extension);
void addTable(const char *name);
void freeTableEntry(TableEntry *entry);
// Unmaps the view of one kind / frees the decoding records of one kind.
void releaseView(TableEntry *entry, int kind);
void freeKindData(TableEntry *entry, int kind);

// Prints the refusal of a table file whose contents are not usable.
void reportCorruptedTable(const char *name, const char *suffix);

// Makes every slot of table_hash that points at entry unreachable.
void unlinkTableEntry(TableEntry *entry);
// The table registered for a material key, nullptr when there is none or it
// was refused (unlinked).
TableEntry *linkedTable(u64 key);
// Whether entry is still the table of the material key.
bool tableLinked(const TableEntry *entry, u64 key);

// Decoding (tbdecode.cpp).
bool loadTable(TableEntry *entry, const char *name, int kind);
// Stored symbol for an index, or nullptr when the table data is inconsistent.
const u8 *decompressValue(const CompressedTable *table, u64 index);
int probeTable(const TbPosition *pos, int wdl, int *success, int kind);
void tableName(const TbPosition *pos, bool swap, char *name);

// Indexing (tbindex.cpp).
// sign(rank - file): 0 on the a1-h8 diagonal, +1 above it, -1 below it.
inline int offDiag(int sq) {
    int d = (sq >> 3) - (sq & 7);
    return (d > 0) - (d < 0);
}
enum : int { A1_SQ = 0, B1_SQ = 1, C1_SQ = 2, D1_SQ = 3, B2_SQ = 9, C2_SQ = 10, D2_SQ = 11, C3_SQ = 18, D3_SQ = 19, D4_SQ = 27 };
extern const u8 TRIANGLE[64];
extern const u8 LOWER[64];
extern const u8 DIAG[64];
extern const u8 FLAP[64];
extern const u8 PAWN_TWIST[64];
extern const u8 FILE_TO_FILE[8];
extern i16 KK_INDEX[10][64];
extern u64 binomial[7][64];
extern u64 pawn_index[6][24];
extern u64 pawn_factor[6][4];

// Builds binomial, pawn_index, pawn_factor and KK_INDEX (idempotent).
void initIndexTables();
// Fills codes/group/factor of an encoding from a piece-order block; returns
// the number of positions, or 0 when the block does not describe a usable
// order for this table.
u64 initEncoding(Encoding *enc, const TableEntry *entry, const u8 *bytes, int shift, int t, bool with_pawns);
u64 encodePieces(int *p, const Encoding *enc, const TableEntry *entry);
u64 encodePawns(int *p, const Encoding *enc, const TableEntry *entry);

inline u8 kingsPaired(const TableEntry *e) { return static_cast<const PieceTable *>(e)->kings_paired; }
inline const u8 *pawnCount(const TableEntry *e) { return static_cast<const PawnTable *>(e)->pawn_count; }
