# The layer check on small source trees: each include that reaches a higher
# folder, a folder of the same rank, or climbs out with "..", fails it; the
# includes a folder may use pass; so does a cast to a device class above the
# devices folder. Run as
# cmake -DCHECK=<LayerCheck.cmake> -DWORK=<scratch folder> -P LayerCheckTest.cmake.
set(failures "")

# expect(<name> <pass|fail> <file> <line>): a tree with one platform file,
# one devices file, and <line> added to <file>.
function(expect name outcome file line)
  set(root ${WORK}/${name})
  file(REMOVE_RECURSE ${root})
  file(WRITE ${root}/src/platform/Base.h "#pragma once\n")
  file(WRITE ${root}/src/ui/Control.h "#pragma once\n#include \"platform/Base.h\"\n")
  file(WRITE ${root}/src/devices/keyboard/Keys.h "#pragma once\n")
  file(WRITE ${root}/src/devices/Device.cpp "#include \"devices/keyboard/Keys.h\"\n#include <sys/types.h>\n#include <json/json.h>\n")
  file(WRITE ${root}/src/lighting/Engine.h "#pragma once\n")
  file(WRITE ${root}/src/panels/Panel.h "#pragma once\n")
  file(APPEND ${root}/src/${file} "${line}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${root}/src -DSTAMP=${root}/stamp -P ${CHECK}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # A failure counts only when it names the file (not a fault of the check itself).
  if(result EQUAL 0)
    set(got pass)
  elseif(err MATCHES "includes" AND err MATCHES "${file}")
    set(got fail)
  else()
    set(got broken)
  endif()
  if(NOT got STREQUAL outcome)
    set(failures "${failures}\n  ${name}: expected ${outcome}, got ${got} (${file}: ${line}) ${err}" PARENT_SCOPE)
  endif()
endfunction()

expect(own_and_lower pass devices/Device.cpp "#include \"ui/Control.h\"")
expect(same_folder_bare pass devices/Device.cpp "#include \"Device.h\"")
expect(system_header pass platform/Base.h "#include <linux/hidraw.h>")
expect(upward fail platform/Base.h "#include \"devices/Device.h\"")
expect(upward_spaced fail platform/Base.h "#  include \"devices/Device.h\"")
expect(upward_angle fail platform/Base.h "#include <devices/Device.h>")
expect(upward_relative fail platform/Base.h "#include \"../devices/Device.h\"")
expect(relative_down fail devices/Device.cpp "#include \"../platform/Base.h\"")
expect(same_rank_peer fail lighting/Engine.h "#include \"panels/Panel.h\"")
expect(same_rank_peer_back fail panels/Panel.h "#include \"lighting/Engine.h\"")
expect(unknown_folder fail devices/Device.cpp "#include \"nowhere/Thing.h\"")
expect(device_cast_above fail panels/Panel.h "auto& m = static_cast<CVantrelMouseDevice&>(d);")
expect(device_cast_const fail panels/Panel.h "auto* k = dynamic_cast< const CVantrelKeyboardDevice*>(d);")
expect(device_cast_within pass devices/Device.cpp "auto& m = static_cast<CVantrelMouseDevice&>(d);")

if(failures)
  message(FATAL_ERROR "layer check:${failures}")
endif()
