# cmake --build . --target praatkist-setup: Praatkist-<version>-setup.exe, the Windows
# setup program (packaging/windows/Praatkist.nsi), made by Debian's makensis from the
# same stripped Praatkist.exe and licence texts as the zip. Included by src/ for the
# Windows build, after the zip's target (it uses PRAATKIST_LICENSES_DIR and
# PRAATKIST_RC_VERSION from there).

find_program(PRAATKIST_MAKENSIS makensis)
set(setup_root ${CMAKE_BINARY_DIR}/setup)
set(setup_stage ${setup_root}/stage)
# the setup's version is the one it reads from the executable's version record
set(setup_file ${CMAKE_BINARY_DIR}/Praatkist-${PRAATKIST_RC_VERSION}-setup.exe)

# The licence page shows the GPL: its text with Windows line ends.
set(setup_license ${setup_root}/LICENSE.txt)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
string(REPLACE "\r\n" "\n" license_text "${license_text}")
string(REPLACE "\n" "\r\n" license_text "${license_text}")
file(WRITE ${setup_license} "${license_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

if(PRAATKIST_MAKENSIS)
  set(setup_make ${PRAATKIST_MAKENSIS} -V2 -WX -INPUTCHARSET UTF8
      -DPK_STAGE=${setup_stage} -DPK_LICENSE=${setup_license}
      -DPK_ICON=${PROJECT_SOURCE_DIR}/resources/praatkist.ico
      -DPK_SIDE=${PROJECT_SOURCE_DIR}/resources/praatkist-setup.bmp -DPK_OUTDIR=${CMAKE_BINARY_DIR}
      ${PROJECT_SOURCE_DIR}/packaging/windows/Praatkist.nsi)
else()
  set(setup_make ${CMAKE_COMMAND} -E echo
      "makensis is missing: scripts/install-deps.sh windows installs it (Debian package nsis)"
      COMMAND ${CMAKE_COMMAND} -E false)
endif()
add_custom_target(praatkist-setup
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${setup_stage} ${setup_file}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${setup_stage}/licenses
  COMMAND ${CMAKE_STRIP} -o ${setup_stage}/Praatkist.exe $<TARGET_FILE:praatkist>
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE
          ${setup_stage}/licenses/Praatkist-LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/copyright
          ${setup_stage}/licenses/Praatkist-copyright.txt
  COMMAND ${CMAKE_COMMAND} -E copy_directory "${PRAATKIST_LICENSES_DIR}"
          ${setup_stage}/licenses
  COMMAND ${setup_make}
  # fails when the name the setup gave itself from the version record is not this one
  COMMAND ${CMAKE_COMMAND} -E sha256sum ${setup_file}
  DEPENDS praatkist ${PROJECT_SOURCE_DIR}/packaging/windows/Praatkist.nsi
          ${PROJECT_SOURCE_DIR}/resources/praatkist.ico ${PROJECT_SOURCE_DIR}/resources/praatkist-setup.bmp
  BYPRODUCTS ${setup_file}
  COMMENT "Making ${setup_file}"
  VERBATIM)
