# Every include in texture/ points down: a folder includes its own files, the folders of lower
# layers and framework/, never a folder of its own layer or above, nor plugin/, host/ or tools/.
# Run with -DSOURCE=<the source tree>.
#
#   settings   the panel and persistence
#   instance   the texture instance: the frame's build and the evaluation
#   target     one object's mask (cache and soft edge) and the target with its children
#   mesh       the mesh cache
#   inside     distance    the inside test and the distance, side by side
#   geometry   bounds, vectors, the quantiser, the plane test, the polygon record
set(layer_geometry 0)
set(layer_inside 1)
set(layer_distance 1)
set(layer_mesh 2)
set(layer_target 3)
set(layer_instance 4)
set(layer_settings 5)

file(GLOB_RECURSE sources RELATIVE "${SOURCE}/texture" "${SOURCE}/texture/*.h" "${SOURCE}/texture/*.cpp")
set(errors "")
foreach(source IN LISTS sources)
    string(REGEX MATCH "^[^/]+" folder "${source}")
    if(NOT DEFINED layer_${folder} OR folder STREQUAL source)
        string(APPEND errors "texture/${source}: not in a layer's folder\n")
        continue()
    endif()
    file(STRINGS "${SOURCE}/texture/${source}" includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" path "${line}")
        if(path MATCHES "^framework/")
            continue()
        elseif(path MATCHES "^texture/([^/]+)/")
            set(other "${CMAKE_MATCH_1}")
            if(other STREQUAL folder)
                continue()
            elseif(NOT DEFINED layer_${other})
                string(APPEND errors "texture/${source}: includes ${path}, of no layer\n")
            elseif(NOT layer_${other} LESS layer_${folder})
                string(APPEND errors "texture/${source}: includes ${path}, not a layer below\n")
            endif()
        else()
            string(APPEND errors "texture/${source}: includes ${path}, outside texture/ and framework/\n")
        endif()
    endforeach()
endforeach()
if(errors)
    message(FATAL_ERROR "${errors}")
endif()
