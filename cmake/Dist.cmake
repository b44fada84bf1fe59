# The archives a user downloads: the Windows zip from the Windows tree and the
# Linux tarball from the optimised native tree (build/<tree>/dist). Their
# names carry KESTROM_VERSION, the same variable the version resource, the
# about box and the web information object are built from, so they cannot
# disagree. scripts/package.py puts each archive together; scripts/dist.sh
# (make dist) builds both.
if(KESTROM_FUZZ)
  return()
endif()

set(KESTROM_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(KESTROM_PACKAGER ${PROJECT_SOURCE_DIR}/scripts/package.py)
# For scripts/dist.sh, which hands out the archives of this version.
file(CONFIGURE OUTPUT ${KESTROM_DIST_DIR}/version.txt CONTENT "${KESTROM_VERSION}\n")
file(GLOB guide_images CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/images/*.png)
set(package_inputs ${KESTROM_PACKAGER} ${PROJECT_SOURCE_DIR}/docs/user-guide.md
    ${guide_images} ${PROJECT_SOURCE_DIR}/examples/demo.xmb)

if(KESTROM_WINDOWS)
  set(KESTROM_DIST_ZIP ${KESTROM_DIST_DIR}/kestrom-master-${KESTROM_VERSION}-win64.zip)
  add_custom_command(OUTPUT ${KESTROM_DIST_ZIP}
    COMMAND /usr/bin/python3 ${KESTROM_PACKAGER} win
            --version ${KESTROM_VERSION} --source ${PROJECT_SOURCE_DIR}
            --strip ${CMAKE_STRIP} --output ${KESTROM_DIST_ZIP}
            $<TARGET_FILE:KestromMaster> $<TARGET_FILE:kestrom-master-cli>
    DEPENDS KestromMaster kestrom-master-cli ${package_inputs}
    COMMENT "Packing ${KESTROM_DIST_ZIP}"
    VERBATIM)
  # Part of every build of the tree, so that make test checks the zip of
  # the programs it has just tested.
  add_custom_target(dist ALL DEPENDS ${KESTROM_DIST_ZIP})
elseif(KESTROM_SANITIZE STREQUAL "" AND CMAKE_BUILD_TYPE STREQUAL "Release")
  set(KESTROM_DIST_TARBALL ${KESTROM_DIST_DIR}/kestrom-master-${KESTROM_VERSION}-linux-x86_64.tar.gz)
  add_custom_command(OUTPUT ${KESTROM_DIST_TARBALL}
    COMMAND /usr/bin/python3 ${KESTROM_PACKAGER} linux
            --version ${KESTROM_VERSION} --source ${PROJECT_SOURCE_DIR}
            --strip ${CMAKE_STRIP} --output ${KESTROM_DIST_TARBALL}
            $<TARGET_FILE:kestrom-master-cli> $<TARGET_FILE:kestrom-slave-sim>
    DEPENDS kestrom-master-cli kestrom-slave-sim ${package_inputs}
    COMMENT "Packing ${KESTROM_DIST_TARBALL}"
    VERBATIM)
  add_custom_target(dist ALL DEPENDS ${KESTROM_DIST_TARBALL})
endif()
