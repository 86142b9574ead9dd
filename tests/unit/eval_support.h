// Helpers shared by the evaluation unit tests.
#pragma once

#include <cstring>
#include <memory>
#include <random>

#include "eval/network.h"

// Saves the whole parameter block and puts it back when it goes out of
// scope, so that tests may fill the network with made-up values (or load
// other files) without disturbing the tests that use the real network.
// Tests that change parameters call prepareNetwork before evaluating.
class NetworkSnapshot {
public:
    NetworkSnapshot() : saved_(new NetworkParams(network)) {}
    ~NetworkSnapshot() {
        std::memcpy(&network, saved_.get(), sizeof(NetworkParams));
        prepareNetwork();
    }
    NetworkSnapshot(const NetworkSnapshot &) = delete;
    NetworkSnapshot &operator=(const NetworkSnapshot &) = delete;

private:
    std::unique_ptr<NetworkParams> saved_;
};

// Uniform integer in [lo, hi].
template <typename T>
inline T uniform(std::mt19937_64 &rng, long long lo, long long hi) {
    return (T)std::uniform_int_distribution<long long>(lo, hi)(rng);
}
