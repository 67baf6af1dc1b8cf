# GoogleTest built from the sources Debian's googletest package ships, so the
# same framework serves native and cross builds.
if(NOT TARGET ql_gtest)
  set(QL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${QL_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  add_library(ql_gtest INTERFACE)
  target_link_libraries(ql_gtest INTERFACE gmock gtest)
endif()
