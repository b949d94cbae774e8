# Layering rules the build enforces: lircore and the exchange documents hold no user interface (they
# link no Qt Widgets, and core's sources include no Widgets header), and the mail plug-in links
# nothing of the program's core and includes no core header beyond the code-page, profile and XML file helpers.

# Every library a target links, directly or through others.
function(lir_link_closure target out)
  set(seen "")
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(type ${current} TYPE)
    set(deps "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${current} LINK_LIBRARIES)
      if(direct)
        list(APPEND deps ${direct})
      endif()
    endif()
    get_target_property(iface ${current} INTERFACE_LINK_LIBRARIES)
    if(iface)
      list(APPEND deps ${iface})
    endif()
    foreach(dep IN LISTS deps)
      # Plain names only; generator expressions ($<LINK_ONLY:x>) name their target inside.
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" dep "${dep}")
      if(TARGET ${dep})
        get_target_property(aliased ${dep} ALIASED_TARGET)
        if(aliased)
          set(dep ${aliased})
        endif()
        list(APPEND queue ${dep})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(lir_forbid_links target)
  lir_link_closure(${target} closure)
  foreach(forbidden IN LISTS ARGN)
    if(TARGET ${forbidden})
      get_target_property(aliased ${forbidden} ALIASED_TARGET)
      if(aliased)
        set(forbidden ${aliased})
      endif()
    endif()
    if(forbidden IN_LIST closure)
      message(FATAL_ERROR "Layering: ${target} must not link ${forbidden}")
    endif()
  endforeach()
endfunction()

lir_forbid_links(lircore Qt6::Widgets Qt6::Gui lircoreui)
# The exchange documents serve programs without a window too, and so does the test of their imports.
lir_forbid_links(lirexchangedocs Qt6::Widgets Qt6::Gui lircoreui)
if(TARGET test_headless_imports)
  lir_forbid_links(test_headless_imports Qt6::Widgets Qt6::Gui lircoreui lircontrols lirexchange)
endif()
# The group sums and the recalculation serve programs without a window too.
if(TARGET lircalc)
  lir_forbid_links(lircalc Qt6::Widgets Qt6::Gui lircoreui)
endif()
# So do the data checks and the consolidation.
if(TARGET lirexchangechecks)
  lir_forbid_links(lirexchangechecks Qt6::Widgets Qt6::Gui lircoreui)
endif()
# The preparer serves programs without a window too.
lir_forbid_links(lirbastrel Qt6::Widgets Qt6::Gui lircoreui)
# The report database, its frame and the product lines serve programs without a window too.
lir_forbid_links(lirreports Qt6::Widgets Qt6::Gui lircoreui)
# The road test's driver works on the program from outside its code: a second copy of the program's
# libraries inside the process would have globals of its own.
if(TARGET roaddriver)
  lir_forbid_links(roaddriver lircore lircoreui lircontrols lirshellapp lireditor lirexchange lirreports)
endif()
# The XML file entry serves the plug-in too: it stays below the core.
lir_forbid_links(lirxmlread lircore lircoreui Qt6::Widgets Qt6::Gui)
foreach(plugin_target mailrune lirmailrune lirmailruneui lirzip)
  if(TARGET ${plugin_target})
    lir_forbid_links(${plugin_target} lircore lircoreui lirtransport lircontrols)
  endif()
endforeach()

# The sources: a core file that includes a Widgets header, or a plug-in file that includes a core
# header, fails the build.
file(GLOB_RECURSE LIR_CORE_SOURCES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/core/*.h ${PROJECT_SOURCE_DIR}/core/*.cpp)
list(FILTER LIR_CORE_SOURCES EXCLUDE REGEX "/core/ui/")
file(GLOB_RECURSE LIR_PLUGIN_SOURCES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/mailrune/*.h ${PROJECT_SOURCE_DIR}/mailrune/*.cpp)
get_target_property(LIR_WIDGETS_INCLUDES Qt6::Widgets INTERFACE_INCLUDE_DIRECTORIES)
set(LIR_LAYERING_STAMP ${CMAKE_BINARY_DIR}/layering.stamp)
add_custom_command(
    OUTPUT ${LIR_LAYERING_STAMP}
    COMMAND ${CMAKE_COMMAND}
        -D "SOURCE_DIR=${PROJECT_SOURCE_DIR}"
        -D "WIDGETS_INCLUDES=${LIR_WIDGETS_INCLUDES}"
        -D "STAMP=${LIR_LAYERING_STAMP}"
        -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    DEPENDS ${LIR_CORE_SOURCES} ${LIR_PLUGIN_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    COMMENT "Checking the layering of core and the mail plug-in"
    VERBATIM)
add_custom_target(lirlayering ALL DEPENDS ${LIR_LAYERING_STAMP})
add_dependencies(lircore lirlayering)
