# The Debian package, made from this build tree with CPack and unpacked into a scratch root
# (needs dpkg-dev and desktop-file-utils).
add_test(NAME package_installs
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/package_test.sh ${CMAKE_CPACK_COMMAND}
          ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
