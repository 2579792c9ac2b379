// Room in a std::vector for one more element, made before anything is
// linked, so that a failed allocation leaves the caller's structures as they
// were. The capacity doubles as push_back's would: a reserve of exactly one
// more element would copy the whole vector on every addition.
#pragma once

#include <cstddef>

namespace vantrove {

template <typename Vector>
void VectorMakeRoom(Vector& vector) {
  const std::size_t size = vector.size();
  if (size == vector.capacity()) vector.reserve(size == 0 ? 1 : 2 * size);
}

}  // namespace vantrove
