# The Windows Installer package (make msi): wixl, from msitools, builds it
# on Linux from res/kta310.wxs. Each build takes the registry files of
# Debian's ieee-data afresh, so a package never carries older ones than the
# machine has; it takes a second.
find_program(KTA_WIXL wixl)
set(KTA_IEEE_DATA_DIR /usr/share/ieee-data CACHE PATH
    "Where oui.csv, mam.csv and oui36.csv, which kta-scan.exe reads beside itself, come from")

# A release's product code follows from its version within this namespace:
# rebuilt, the same version is the same product.
set(kta_msi_namespace 9C3D2B77-5E0A-4F6B-8A41-3B1E6D0F2C58)

# kta_msi(TARGET FILE VERSION): the package of the programs as VERSION.
function(kta_msi target file version)
  string(UUID product_code NAMESPACE ${kta_msi_namespace} NAME ${version} TYPE SHA1 UPPER)
  add_custom_target(${target}
    COMMAND ${CMAKE_COMMAND} -DWIXL=${KTA_WIXL} -DSOURCE=${PROJECT_SOURCE_DIR}/res/kta310.wxs
            -DOUTPUT=${file} -DVERSION=${version} -DPRODUCT_CODE=${product_code}
            -DPROBE=$<TARGET_FILE:kta-probe> -DSCAN=$<TARGET_FILE:kta-scan>
            -DICON=${PROJECT_SOURCE_DIR}/res/xola_icon.ico -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
            -DIEEE_DATA=${KTA_IEEE_DATA_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/msi_build.cmake
    BYPRODUCTS ${file} DEPENDS kta-probe kta-scan VERBATIM)
endfunction()

kta_msi(msi ${PROJECT_BINARY_DIR}/kta310-${PROJECT_VERSION}-x64.msi ${PROJECT_VERSION})

# The upgrade test installs this one first: the same source as a lower
# version, the release before this one in its last number that can go down.
if(PROJECT_VERSION_PATCH GREATER 0)
  math(EXPR patch "${PROJECT_VERSION_PATCH} - 1")
  set(older ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${patch})
elseif(PROJECT_VERSION_MINOR GREATER 0)
  math(EXPR minor "${PROJECT_VERSION_MINOR} - 1")
  set(older ${PROJECT_VERSION_MAJOR}.${minor}.99)
else()
  math(EXPR major "${PROJECT_VERSION_MAJOR} - 1")
  set(older ${major}.99.99)
endif()
kta_msi(msi_older ${PROJECT_BINARY_DIR}/msi-test/kta310-older-x64.msi ${older})
