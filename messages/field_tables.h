// Helpers for the constexpr field tables of requests and answers.
#pragma once

#include <array>
#include <cstddef>

namespace tessel {

template <typename Row, size_t N, size_t M>
constexpr std::array<Row, N + M> JoinRows(const Row* head, const Row* tail) {
  std::array<Row, N + M> joined{};
  for (size_t i = 0; i < N; ++i) joined[i] = head[i];
  for (size_t i = 0; i < M; ++i) joined[N + i] = tail[i];
  return joined;
}

// One table followed by another: an opening several messages share and
// what each adds after it.
template <typename Row, size_t N, size_t M>
constexpr std::array<Row, N + M> Join(const Row (&head)[N], const Row (&tail)[M]) {
  return JoinRows<Row, N, M>(head, tail);
}

template <typename Row, size_t N, size_t M>
constexpr std::array<Row, N + M> Join(const std::array<Row, N>& head, const Row (&tail)[M]) {
  return JoinRows<Row, N, M>(head.data(), tail);
}

}  // namespace tessel
