# Helpers shared by every folder of the build.

# Compile an IDL file with widl into a type library, a header and the GUID definitions.
# Sets <prefix>_TLB, <prefix>_HEADER and <prefix>_IID to the generated files.
function(wisp_idl prefix idl)
  get_filename_component(name ${idl} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR})
  set(tlb ${out}/${name}.tlb)
  set(hdr ${out}/${name}_h.h)
  set(iid ${out}/${name}_i.c)
  add_custom_command(
    OUTPUT ${tlb} ${hdr} ${iid}
    COMMAND ${WISP_WIDL} ${WISP_WIDL_TARGET} -I/usr/include/wine/wine/windows
            -I${CMAKE_CURRENT_SOURCE_DIR} -L${WISP_STDOLE_DIR}
            -t -o ${tlb} ${idl}
    COMMAND ${WISP_WIDL} ${WISP_WIDL_TARGET} -I/usr/include/wine/wine/windows
            -I${CMAKE_CURRENT_SOURCE_DIR} -h -o ${hdr} ${idl}
    COMMAND ${WISP_WIDL} ${WISP_WIDL_TARGET} -I/usr/include/wine/wine/windows
            -I${CMAKE_CURRENT_SOURCE_DIR} -u -o ${iid} ${idl}
    DEPENDS ${idl}
    COMMENT "widl ${name}.idl"
    VERBATIM)
  set(${prefix}_TLB ${tlb} PARENT_SCOPE)
  set(${prefix}_HEADER ${hdr} PARENT_SCOPE)
  set(${prefix}_IID ${iid} PARENT_SCOPE)
endfunction()

# Compile an interface-only IDL file (no library block) into a header and the GUID definitions.
# The files go to outdir. Sets <prefix>_HEADER and <prefix>_IID.
function(wisp_idl_header prefix idl outdir)
  get_filename_component(name ${idl} NAME_WE)
  set(out ${outdir})
  file(MAKE_DIRECTORY ${out})
  set(hdr ${out}/${name}_h.h)
  set(iid ${out}/${name}_i.c)
  add_custom_command(
    OUTPUT ${hdr} ${iid}
    COMMAND ${WISP_WIDL} ${WISP_WIDL_TARGET} -I/usr/include/wine/wine/windows
            -I${CMAKE_CURRENT_SOURCE_DIR} -h -o ${hdr} ${idl}
    COMMAND ${WISP_WIDL} ${WISP_WIDL_TARGET} -I/usr/include/wine/wine/windows
            -I${CMAKE_CURRENT_SOURCE_DIR} -u -o ${iid} ${idl}
    DEPENDS ${idl}
    COMMENT "widl ${name}.idl"
    VERBATIM)
  set(${prefix}_HEADER ${hdr} PARENT_SCOPE)
  set(${prefix}_IID ${iid} PARENT_SCOPE)
endfunction()

# Flags every target of the project uses.
function(wisp_target_defaults target)
  target_compile_definitions(${target} PRIVATE
    NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter
    $<$<COMPILE_LANGUAGE:CXX>:-Wno-missing-field-initializers>)
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()
