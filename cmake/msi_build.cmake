# Builds one Windows Installer package with wixl; run by the msi targets of
# cmake/msi.cmake as cmake -P with WIXL, SOURCE, OUTPUT, VERSION,
# PRODUCT_CODE, PROBE, SCAN, ICON, LICENSE and IEEE_DATA set.
if(NOT WIXL)
  message(FATAL_ERROR "msi: needs wixl (Debian: wixl); then run cmake on the build folder again")
endif()

# wixl takes only relative sources: the files are laid out beside the package as it installs them.
get_filename_component(out_dir ${OUTPUT} DIRECTORY)
get_filename_component(out_name ${OUTPUT} NAME_WLE)
set(stage ${out_dir}/${out_name}.files)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
file(COPY_FILE ${PROBE} ${stage}/kta-probe.exe)
file(COPY_FILE ${SCAN} ${stage}/kta-scan.exe)
file(COPY_FILE ${ICON} ${stage}/kta-probe.ico)
file(COPY_FILE ${LICENSE} ${stage}/LICENSE.txt)

set(ieee_defines)
set(registries oui.csv mam.csv oui36.csv)
set(missing)
foreach(name ${registries})
  if(EXISTS ${IEEE_DATA}/${name})
    file(COPY_FILE ${IEEE_DATA}/${name} ${stage}/${name})
  else()
    list(APPEND missing ${name})
  endif()
endforeach()
if(missing)
  # Without them kta-scan.exe still finds every device; it cannot name the makers.
  message(WARNING "msi: ${IEEE_DATA} lacks ${missing}; the package goes without the registry "
                  "files (Debian: ieee-data)")
else()
  set(ieee_defines -D IeeeData=.)
endif()

file(REMOVE ${OUTPUT})
execute_process(
  COMMAND ${WIXL} --arch x64 -D Version=${VERSION} -D ProductCode=${PRODUCT_CODE}
          -D ProbeExe=kta-probe.exe -D ScanExe=kta-scan.exe -D IconFile=kta-probe.ico
          -D LicenseFile=LICENSE.txt ${ieee_defines} -o ${OUTPUT} ${SOURCE}
  WORKING_DIRECTORY ${stage} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS ${OUTPUT})
  message(FATAL_ERROR "msi: wixl failed (${rc}) on ${SOURCE}")
endif()
file(SIZE ${OUTPUT} size)
math(EXPR kib "${size} / 1024")
message(STATUS "msi: ${OUTPUT} (${VERSION}, ${kib} KiB)")
