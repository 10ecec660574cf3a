# doctest is one header. A Windows build must not see the rest of the build
# machine's /usr/include, so the header's folder is reached through a folder
# of its own in the build tree.
find_path(CORVANE_DOCTEST_DIR doctest/doctest.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(corvane_doctest_include ${CMAKE_BINARY_DIR}/doctest-include)
file(MAKE_DIRECTORY ${corvane_doctest_include})
file(CREATE_LINK ${CORVANE_DOCTEST_DIR}/doctest ${corvane_doctest_include}/doctest SYMBOLIC)
add_library(corvane_doctest INTERFACE)
target_include_directories(corvane_doctest SYSTEM INTERFACE ${corvane_doctest_include})
