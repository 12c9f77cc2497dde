# Fails when IMAGE is larger than LIMIT bytes (cmake -P, from add_size_budget).
file(SIZE "${IMAGE}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${IMAGE}: ${size} bytes, over its budget of ${LIMIT}")
endif()
message(STATUS "${IMAGE}: ${size} bytes (budget ${LIMIT})")
