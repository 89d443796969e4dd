# Fails when the static library LIB defines writable data of its own.
# Such a library is linked into the program and into every package, and
# each copy would get its own state (a message handler redirected in the
# program but not in a package, a list filled in one copy only); state of
# the process belongs in libKWPrcDef.
#   cmake -DNM=nm -DLIB=libkw_ui.a -P CheckNoState.cmake
execute_process(COMMAND ${NM} -C --defined-only ${LIB} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(found "")
foreach(line IN LISTS lines)
  # B/b: zero-filled data, D/d: initialised data, u: one copy per
  # process of a static in an inline function (still one per library here).
  if(line MATCHES "^[0-9a-f]+ ([BbDdu]) (.*)$")
    set(sym "${CMAKE_MATCH_2}")
    # What the compiler and Qt's code generators make for every class and
    # resource file: meta-objects, type tables, resource registration.
    # Virtual tables and type information are read-only once relocated
    # (some compilers list them as data).
    if(sym MATCHES "^vtable for |^typeinfo for |^typeinfo name for |^VTT for |staticMetaObject|qt_incomplete_metaTypeArray|qt_version_tag|QMetaTypeForType|QMetaTypeInterfaceWrapper|^DW\\.ref\\.|^\\(anonymous namespace\\)::dummy$|qt_resource_")
      continue()
    endif()
    list(APPEND found "${sym}")
  endif()
endforeach()
if(found)
  list(JOIN found "\n  " text)
  message(FATAL_ERROR "${LIB} is linked into the program and into packages, so each gets its own "
    "copy of its data; keep state that must exist once per process in libKWPrcDef:\n  ${text}")
endif()
