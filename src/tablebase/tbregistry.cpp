// Registration of the table files: the directory list, the record arrays,
// table_hash, and releasing all of it again.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "board/assert.h"
#include "platform/paths.h"
#include "tablebase/tbinternal.h"
#include "tablebase/tbprobe.h"

int max_tb_pieces = 0;

PieceTable *pawnless_tables = nullptr;
PawnTable *pawn_tables = nullptr;
int num_pawnless_tables = 0, num_pawn_tables = 0;
TableSlot table_hash[TB_HASH_SIZE];
MutexHandle tb_mutex = nullptr;
int max_table_pieces = 0, max_dtm_table_pieces = 0;

int num_tb_paths = 0;
char **tb_paths = nullptr;
static char *path_copy = nullptr;
static bool registry_exists = false;
static bool computed_tables_ready = false;

char table_names[TB_NUM_NAMES][16];

const u64 MATERIAL_KEYS[2][5] = {
    {0xa3ec1abc71e90863ULL, 0x985deb9fc49333f9ULL, 0xaadc1a2be446234dULL, 0xd2fb81862830191fULL, 0xec0ade190c0f6003ULL},
    {0xd6e4e47d24962951ULL, 0xfd7866b439b94495ULL, 0xd5a4c95928f2fbe3ULL, 0xbaeb854cd3259441ULL, 0xa24f0f571bb202e7ULL},
};

static const char PIECE_LETTERS[] = "QRBNP";

// Every material combination of up to seven pieces, each named once with the
// first side at least as strong, in the order of the eleven name patterns.
void buildTableNames() {
    int n = 0;
    auto add = [&n](const char *first, const char *second) {
        std::snprintf(table_names[n++], sizeof table_names[0], "K%svK%s", first, second);
    };
    char a[6], b[6];
    auto letters = [](char *out, std::initializer_list<int> list) {
        int len = 0;
        for (int x : list) out[len++] = PIECE_LETTERS[x];
        out[len] = 0;
    };
    for (int i = 0; i < 5; i++) { letters(a, {i}); letters(b, {}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++) { letters(a, {i}); letters(b, {j}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++) { letters(a, {i, j}); letters(b, {}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = 0; k < 5; k++) { letters(a, {i, j}); letters(b, {k}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = j; k < 5; k++) { letters(a, {i, j, k}); letters(b, {}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = i; k < 5; k++)
                for (int l = (k == i ? j : k); l < 5; l++) { letters(a, {i, j}); letters(b, {k, l}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = j; k < 5; k++)
                for (int l = 0; l < 5; l++) { letters(a, {i, j, k}); letters(b, {l}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = j; k < 5; k++)
                for (int l = k; l < 5; l++) { letters(a, {i, j, k, l}); letters(b, {}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = j; k < 5; k++)
                for (int l = k; l < 5; l++)
                    for (int m = l; m < 5; m++) { letters(a, {i, j, k, l, m}); letters(b, {}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = j; k < 5; k++)
                for (int l = k; l < 5; l++)
                    for (int m = 0; m < 5; m++) { letters(a, {i, j, k, l}); letters(b, {m}); add(a, b); }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = j; k < 5; k++)
                for (int l = 0; l < 5; l++)
                    for (int m = l; m < 5; m++) { letters(a, {i, j, k}); letters(b, {l, m}); add(a, b); }
    CHECK(n == TB_NUM_NAMES);
}

FileHandle openTableFile(const char *name, const char *extension) {
    std::string full;
    for (int i = 0; i < num_tb_paths; i++) {
        full.assign(tb_paths[i]);
        full += directorySeparator();
        full += name;
        full += extension;
        FileHandle f = openFileForReading(full.c_str());
        if (f != INVALID_FILE) return f;
    }
    return INVALID_FILE;
}

static void reportIncomplete(const char *name, const char *extension) {
    std::fprintf(stderr, "Incomplete tablebase file %s.%s\n", name, extension);
    std::printf("info string Incomplete tablebase file %s.%s\n", name, extension);
    std::fflush(stdout);
}

void reportCorruptedTable(const char *name, const char *suffix) {
    std::fprintf(stderr, "Corrupted table.\n");
    std::printf("info string Corrupted tablebase file %s%s\n", name, suffix);
    std::fflush(stdout);
}

// 1 when the file is there and passes the size test, 0 when it is missing,
// -1 (after the message) when it is there but fails the test.
static int checkTableFile(const char *name, const char *extension) {
    FileHandle f = openTableFile(name, extension);
    if (f == INVALID_FILE) return 0;
    u64 size = 0;
    bool ok = fileSize(f, &size);
    closeFile(f);
    if (!ok || size % 64 != 16) {
        reportIncomplete(name, extension);
        return -1;
    }
    return 1;
}

static void insertKey(u64 key, TableEntry *entry) {
    int slot = (int)(key >> (64 - TB_HASH_BITS));
    while (table_hash[slot].entry) slot = (slot + 1) & (TB_HASH_SIZE - 1);
    table_hash[slot].key = key;
    table_hash[slot].entry = entry;
}

void addTable(const char *name) {
    int count[2][5] = {{0}};   // [side of the name][Q, R, B, N, P]
    int side = 0, pieces = 0;
    for (const char *c = name; *c; c++) {
        if (*c == 'v') {
            side = 1;
            continue;
        }
        pieces++;
        const char *letter = std::strchr(PIECE_LETTERS, *c);
        if (letter) count[side][letter - PIECE_LETTERS]++;
    }
    u64 key = 0, swapped = 0;
    for (int s = 0; s < 2; s++)
        for (int t = 0; t < 5; t++) {
            key += (u64)count[s][t] * MATERIAL_KEYS[s][t];
            swapped += (u64)count[s][t] * MATERIAL_KEYS[s ^ 1][t];
        }

    bool has_pawns = count[0][4] + count[1][4] > 0;
    TableEntry *entry;
    if (has_pawns) {
        PawnTable *pt = &pawn_tables[num_pawn_tables++];
        std::memset(static_cast<void *>(pt), 0, sizeof *pt);
        entry = pt;
    } else {
        PieceTable *pt = &pawnless_tables[num_pawnless_tables++];
        std::memset(static_cast<void *>(pt), 0, sizeof *pt);
        entry = pt;
    }
    entry->has_pawns = has_pawns;
    entry->key = key;
    entry->symmetric = key == swapped;
    entry->num_pieces = (u8)pieces;
    entry->dtm_available = checkTableFile(name, ".rtbm") > 0;
    entry->dtz_available = checkTableFile(name, ".rtbz") > 0;
    if (pieces > max_table_pieces) max_table_pieces = pieces;
    if (entry->dtm_available && pieces > max_dtm_table_pieces) max_dtm_table_pieces = pieces;
    for (int k = 0; k < TB_KINDS; k++) entry->loaded[k] = 0;

    if (has_pawns) {
        PawnTable *pt = static_cast<PawnTable *>(entry);
        int p0 = count[0][4], p1 = count[1][4];
        if (p1 > 0 && (p0 == 0 || p0 > p1)) {
            pt->pawn_count[0] = (u8)p1;
            pt->pawn_count[1] = (u8)p0;
        } else {
            pt->pawn_count[0] = (u8)p0;
            pt->pawn_count[1] = (u8)p1;
        }
    } else {
        // Counting each piece type of each colour (kings included), the
        // kings are paired when they are the only single pieces.
        int singles = 2;
        for (int s = 0; s < 2; s++)
            for (int t = 0; t < 5; t++) singles += count[s][t] == 1;
        static_cast<PieceTable *>(entry)->kings_paired = singles == 2;
    }

    insertKey(key, entry);
    if (swapped != key) insertKey(swapped, entry);
}

// Frees the decoding records that loadTable allocated for one kind.
static void freeCompressed(CompressedTable *&table) {
    if (!table) return;
    delete[] table->symbol_length;
    delete table;
    table = nullptr;
}

void freeKindData(TableEntry *entry, int kind) {
    if (entry->has_pawns) {
        PawnTable *pt = static_cast<PawnTable *>(entry);
        if (kind == WDL)
            for (Encoding &e : pt->wdl_encoding) freeCompressed(e.compressed);
        else if (kind == DTZ)
            for (Encoding &e : pt->dtz_encoding) freeCompressed(e.compressed);
    } else {
        PieceTable *pt = static_cast<PieceTable *>(entry);
        if (kind == WDL) {
            freeCompressed(pt->encoding[0].compressed);
            freeCompressed(pt->encoding[1].compressed);
        } else if (kind == DTZ) {
            freeCompressed(pt->encoding[2].compressed);
        }
    }
}

void releaseView(TableEntry *entry, int kind) {
    if (!entry->view[kind]) return;
    unsigned long error = 0;
    if (!unmapView(entry->view[kind], entry->map_size[kind], &error))
        std::fprintf(stderr, "unmap failed, error code %lu\n", error);
    // The mapping is closed even when the view could not be released.
    if (!closeMapping(entry->map_handle[kind], &error))
        std::fprintf(stderr, "CloseHandle failed, error code %lu\n", error);
    entry->view[kind] = nullptr;
    entry->map_size[kind] = 0;
    entry->map_handle[kind] = NO_MAPPING;
}

void freeTableEntry(TableEntry *entry) {
    for (int kind = 0; kind < TB_KINDS; kind++) {
        if (!entry->loaded[kind]) continue;
        releaseView(entry, kind);
        freeKindData(entry, kind);
        entry->loaded[kind] = 0;
    }
}

void unlinkTableEntry(TableEntry *entry) {
    for (TableSlot &slot : table_hash)
        if (__atomic_load_n(&slot.entry, __ATOMIC_RELAXED) == entry)
            __atomic_store_n(&slot.entry, (TableEntry *)nullptr, __ATOMIC_RELAXED);
}

TableEntry *linkedTable(u64 key) {
    int slot = (int)(key >> (64 - TB_HASH_BITS));
    while (table_hash[slot].key && table_hash[slot].key != key) slot = (slot + 1) & (TB_HASH_SIZE - 1);
    return table_hash[slot].key == key ? __atomic_load_n(&table_hash[slot].entry, __ATOMIC_RELAXED) : nullptr;
}

bool tableLinked(const TableEntry *entry, u64 key) { return linkedTable(key) == entry; }

static void releaseRegistry() {
    std::free(path_copy);
    path_copy = nullptr;
    std::free(tb_paths);
    tb_paths = nullptr;
    num_tb_paths = 0;
    for (int i = 0; i < num_pawnless_tables; i++) freeTableEntry(&pawnless_tables[i]);
    for (int i = 0; i < num_pawn_tables; i++) freeTableEntry(&pawn_tables[i]);
    // No slot may keep pointing at a released record: a probe made after
    // this (with max_tb_pieces ignored) simply finds no table.
    num_pawnless_tables = num_pawn_tables = 0;
    std::memset(table_hash, 0, sizeof table_hash);
    closeMutex(tb_mutex);
    tb_mutex = nullptr;
    max_table_pieces = max_dtm_table_pieces = 0;
    max_tb_pieces = 0;
    registry_exists = false;
}

bool initSyzygy(const char *path) {
    if (!computed_tables_ready) {
        initIndexTables();
        initTbChess();
        buildTableNames();
        computed_tables_ready = true;
    }
    if (registry_exists) releaseRegistry();
    max_tb_pieces = 0;
    if (!path || !*path || std::strcmp(path, "<empty>") == 0) return true;

    size_t len = std::strlen(path);
    path_copy = (char *)std::malloc(len + 1);
    tb_paths = (char **)std::malloc(sizeof(char *) * (len / 2 + 1));
    if (!path_copy || !tb_paths) {
        std::fprintf(stderr, "Out of memory.\n");
        std::exit(1);
    }
    std::memcpy(path_copy, path, len + 1);
    num_tb_paths = 0;
    for (size_t i = 0; i < len;) {
        while (i < len && isPathListSeparator(path_copy[i])) path_copy[i++] = 0;
        if (i >= len) break;
        tb_paths[num_tb_paths++] = &path_copy[i];
        while (i < len && !isPathListSeparator(path_copy[i])) i++;
    }
    registry_exists = true;

    tb_mutex = createMutex();
    num_pawnless_tables = num_pawn_tables = 0;
    max_table_pieces = max_dtm_table_pieces = 0;
    max_tb_pieces = 0;
    if (!pawnless_tables) pawnless_tables = new (std::nothrow) PieceTable[TB_MAX_PIECE_TABLES];
    if (!pawn_tables) pawn_tables = new (std::nothrow) PawnTable[TB_MAX_PAWN_TABLES];
    if (!pawnless_tables || !pawn_tables || !tb_mutex) {
        std::fprintf(stderr, "Out of memory.\n");
        std::exit(1);
    }
    std::memset(table_hash, 0, sizeof table_hash);

    for (int i = 0; i < TB_NUM_NAMES; i++)
        if (checkTableFile(table_names[i], ".rtbw") > 0) addTable(table_names[i]);

    max_tb_pieces = max_table_pieces > max_dtm_table_pieces ? max_table_pieces : max_dtm_table_pieces;
    return true;
}

bool initSyzygyAndReport(const char *path) {
    initSyzygy(path);
    if (max_tb_pieces > 2) {
        std::printf("info debug Initialisation of Syzygy : %s", "success");
        std::printf(" (%i pieces)\n", max_tb_pieces);
        std::fflush(stdout);
        appendLog("Syzygy ok\n");
        return true;
    }
    std::printf("info debug Initialisation of Syzygy : %s", "failure");
    std::printf("\n");
    std::fflush(stdout);
    max_tb_pieces = 0;
    return false;
}

void freeTableArrays() {
    if (registry_exists) releaseRegistry();
    delete[] pawnless_tables;
    pawnless_tables = nullptr;
    delete[] pawn_tables;
    pawn_tables = nullptr;
}
