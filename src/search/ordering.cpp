#include "search/ordering.h"

#include "search/tables.h"

namespace {

// Inner order: flags, then history for quiet moves, then centrality, then
// the move word seen from the mover's side. Strictly greater only, so that
// the earlier of two equal moves stays in front.
inline bool innerGreater(Move c, Move b, const i32 *colour_history, i32 rank_flip) {
    u32 fc = c & ORDER_MASK, fb = b & ORDER_MASK;
    if (fc != fb) return fc > fb;
    if (fc == 0) {
        i32 hc = colour_history[moveMoved(c) * 64 + moveTo(c)];
        i32 hb = colour_history[moveMoved(b) * 64 + moveTo(b)];
        if (hc != hb) return hc > hb;
    }
    u8 cc = move_centrality[c & 0xfff], cb = move_centrality[b & 0xfff];
    if (cc != cb) return cc > cb;
    return (i32)(c ^ rank_flip) > (i32)(b ^ rank_flip);
}

// The inner order as one 64-bit number per move, greater first: a noisy move
// has the top bit and its flag field, a quiet move its history (offset to be
// unsigned); then the centrality, then the low 15 bits of the move word seen
// from the mover's side. Moves with the same flag field differ only in those
// 15 bits (bits 15 and 29-31 are always 0), so they order the rest of the word
// as the signed comparison does, and two moves of a list never share a key.
inline u64 innerKey(Move m, const i32 *colour_history, i32 rank_flip) {
    const u64 low = ((u64)move_centrality[m & 0xfff] << 15) | ((m ^ (u32)rank_flip) & 0x7fffu);
    const u32 flags = m & ORDER_MASK;
    const u64 noisy = (1ULL << 63) | ((u64)(flags >> 16) << 23);
    const u64 quiet = (u64)((u32)colour_history[moveMoved(m) * 64 + moveTo(m)] ^ 0x80000000u) << 23;
    // Selected without a branch: noisy and quiet moves are mixed in the list.
    const u64 noisy_mask = 0 - (u64)(flags != 0);
    return (noisy & noisy_mask) | (quiet & ~noisy_mask) | low;
}

// The part of a key that history does not change: all of it for a noisy
// move (top bit set), centrality and move bits for a quiet one.
constexpr u64 KEY_STATIC_BITS = (1ULL << 23) - 1;

// A quiet move's key with history as it is now.
inline u64 requietKey(u64 key, Move m, const i32 *colour_history) {
    return (key & KEY_STATIC_BITS) |
           (u64)((u32)colour_history[moveMoved(m) * 64 + moveTo(m)] ^ 0x80000000u) << 23;
}

inline Move swapInto(Move *moves, int i, int best) {
    Move m = moves[best];
    moves[best] = moves[i];
    moves[i] = m;
    return m;
}

}  // namespace

void historyCutoff(int i, int rdepth) {
    history_version++;
    const Move *moves = curr_ply->moves;
    if (!(moves[i] & HISTORY_EXCLUDED)) historyOf(moves[i]) += rdepth * rdepth;
    for (int j = 0; j < i; j++)
        if (!(moves[j] & HISTORY_EXCLUDED)) historyOf(moves[j]) -= rdepth;
}

bool innerOrderBefore(Move c, Move b) {
    return innerGreater(c, b, &history[curr_ply->us->info->colour][0][0], curr_ply->rank_flip);
}

Move pickNextMove(int i) {
    Ply *p = curr_ply;
    Move *moves = p->moves;
    int n = p->generated;
    const i32 *colour_history = &history[p->us->info->colour][0][0];
    i32 rank_flip = p->rank_flip;
    // History can change between two calls (the searches below update it),
    // so the keys of the quiet moves are read afresh each time.
    int best = i;
    u64 best_key = innerKey(moves[i], colour_history, rank_flip);
    for (int j = i + 1; j < n; j++) {
        const u64 key = innerKey(moves[j], colour_history, rank_flip);
        if (key > best_key) {
            best = j;
            best_key = key;
        }
    }
    return swapInto(moves, i, best);
}

Move pickNextMove(int i, MoveKeys &keys) {
    Ply *p = curr_ply;
    Move *moves = p->moves;
    const int n = p->generated;
    if (!keys.valid) {
        const i32 *colour_history = &history[p->us->info->colour][0][0];
        const i32 rank_flip = p->rank_flip;
        for (int j = i; j < n; j++) keys.key[j] = innerKey(moves[j], colour_history, rank_flip);
        keys.version = history_version;
        keys.valid = true;
    } else if (keys.version != history_version) {
        // Only the quiet moves' keys hold history.
        const i32 *colour_history = &history[p->us->info->colour][0][0];
        for (int j = i; j < n; j++)
            if (!(keys.key[j] >> 63)) keys.key[j] = requietKey(keys.key[j], moves[j], colour_history);
        keys.version = history_version;
    }
    int best = i;
    u64 best_key = keys.key[i];
    for (int j = i + 1; j < n; j++)
        if (keys.key[j] > best_key) {
            best = j;
            best_key = keys.key[j];
        }
    keys.key[best] = keys.key[i];
    keys.key[i] = best_key;
    return swapInto(moves, i, best);
}

Move pickRootMove(int i) {
    Ply *p = curr_ply;
    Move *moves = p->moves;
    int n = p->generated;
    const i32 *colour_history = &history[p->us->info->colour][0][0];
    i32 rank_flip = p->rank_flip;
    int best = i;
    for (int j = i + 1; j < n; j++) {
        Move c = moves[j], b = moves[best];
        if ((c & FLAG_HASH) != (b & FLAG_HASH)) {
            if (c & FLAG_HASH) best = j;
            continue;
        }
        u64 nc = root_nodes[c & 0xfff], nb = root_nodes[b & 0xfff];
        if (nc != nb) {
            if (nc > nb) best = j;
            continue;
        }
        if (innerGreater(c, b, colour_history, rank_flip)) best = j;
    }
    return swapInto(moves, i, best);
}

Move pickSimpleKey(int i) {
    Ply *p = curr_ply;
    Move *moves = p->moves;
    int n = p->generated;
    i32 rank_flip = p->rank_flip;
    int best = i;
    i32 best_key = (i32)(moves[i] ^ rank_flip);
    for (int j = i + 1; j < n; j++) {
        i32 key = (i32)(moves[j] ^ rank_flip);
        if (key > best_key) {
            best = j;
            best_key = key;
        }
    }
    return swapInto(moves, i, best);
}
