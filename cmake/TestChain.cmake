# The test certificate chain of this build tree (scripts/test-chain.sh, shared by both
# architectures' builds and the package step), made when the build is configured so that its
# thumbprints can be pinned, and the rule that signs a program with one of its certificates.
find_program(QX_OPENSSL openssl REQUIRED)
find_program(QX_OSSLSIGNCODE osslsigncode REQUIRED)
set(QX_TEST_CHAIN_DIR ${QX_BUILD_ROOT_DIR}/test-signing)
execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/test-chain.sh ${QX_TEST_CHAIN_DIR} RESULT_VARIABLE qx_chain_result)
if(NOT qx_chain_result EQUAL 0)
  message(FATAL_ERROR "the test certificate chain could not be made in ${QX_TEST_CHAIN_DIR} (bash scripts/install-deps.sh installs openssl)")
endif()
# QX_TEST_THUMBPRINT_<name>: the SHA-256 thumbprint of each certificate.
foreach(name signer renewed other stranger)
  file(READ ${QX_TEST_CHAIN_DIR}/${name}.sha256 thumbprint)
  string(STRIP "${thumbprint}" QX_TEST_THUMBPRINT_${name})
endforeach()

# qx_test_sign(<out> <in> <certificate name> [<certificates sent along>...]): Authenticode, SHA-256.
function(qx_test_sign out in name)
  set(chain_file ${CMAKE_BINARY_DIR}/signing/${name})
  set(certs)
  foreach(cert IN ITEMS ${name} ${ARGN})
    file(READ ${QX_TEST_CHAIN_DIR}/${cert}.pem pem)
    string(APPEND certs "${pem}")
    string(APPEND chain_file "+${cert}")
  endforeach()
  file(CONFIGURE OUTPUT ${chain_file}.pem CONTENT "${certs}")
  get_filename_component(out_dir ${out} DIRECTORY)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${out}
    COMMAND ${QX_OSSLSIGNCODE} sign -certs ${chain_file}.pem -key ${QX_TEST_CHAIN_DIR}/${name}.key -h sha256
      -n qxLoader -in ${in} -out ${out}
    DEPENDS ${in} ${chain_file}.pem
    COMMENT "osslsigncode: ${out} with the test certificate ${name}"
    VERBATIM)
endfunction()
