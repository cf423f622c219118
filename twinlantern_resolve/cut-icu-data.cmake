# Cuts the system's ICU data down to the items in ITEMS and writes it as a C source that
# defines the data entry point static libicuuc looks for (ENTRY_dat).
# cmake -DARCHIVE=libicudata.a -DPACKAGE=icudt72l -DENTRY=icudt72 -DTYPE=l -DITEMS=list
#       -DAR= -DOBJCOPY= -DICUPKG= -DGENCCODE= -DOUT=dir -P cut-icu-data.cmake
foreach(var ARCHIVE PACKAGE ENTRY TYPE ITEMS AR OBJCOPY ICUPKG GENCCODE OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "cut-icu-data: ${var} is not set")
  endif()
endforeach()

set(work ${OUT}/work)
function(step)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${work} RESULT_VARIABLE code
                  OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "cut-icu-data: `${ARGN}` failed (${code}):\n${output}")
  endif()
endfunction()

file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/items ${work}/cut)
# libicudata.a holds one object whose .rodata is the whole .dat package.
step(${AR} x ${ARCHIVE} ${PACKAGE}_dat.o)
step(${OBJCOPY} -O binary -j .rodata ${PACKAGE}_dat.o ${PACKAGE}.dat)
step(${ICUPKG} -x ${ITEMS} -d items ${PACKAGE}.dat)
# The root bundle names rule files left out on purpose.
step(${ICUPKG} -t${TYPE} --ignore-deps -s items -a ${ITEMS} new cut/${PACKAGE}.dat)
# genccode names the symbol after the file.
file(COPY_FILE ${work}/cut/${PACKAGE}.dat ${work}/${ENTRY}.dat)
step(${GENCCODE} -q -d ${OUT} ${ENTRY}.dat)
file(REMOVE_RECURSE ${work})
