# Files generated from the product rows of src/devices/Products.h: the udev
# rule and the AppStream modalias list. A new product row reaches both.

# The USB ids the rows name, one "vvvv:pppp:nn" entry per (vendor, product,
# interface number), cable and receiver, in lower-case hex.
function(m470_usb_ids table out)
  file(STRINGS ${table} rows REGEX "^[ \t]*\\{\"[^\"]+\", 0x[0-9A-Fa-f]+, 0x[0-9A-Fa-f]+, 0x[0-9A-Fa-f]+, [0-9]+,")
  set(ids "")
  foreach(row IN LISTS rows)
    string(REGEX MATCH "\", 0x([0-9A-Fa-f]+), 0x([0-9A-Fa-f]+), 0x([0-9A-Fa-f]+), ([0-9]+)," _ "${row}")
    string(TOLOWER "${CMAKE_MATCH_1}" vendor)
    set(number "${CMAKE_MATCH_4}")
    if(number LESS 10)
      set(number "0${number}")
    endif()
    foreach(product IN ITEMS ${CMAKE_MATCH_2} ${CMAKE_MATCH_3})
      string(TOLOWER "${product}" product)
      if(NOT product MATCHES "^0+$")
        list(APPEND ids "${vendor}:${product}:${number}")
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES ids)
  if(NOT ids)
    message(FATAL_ERROR "no product rows found in ${table}")
  endif()
  set(${out} "${ids}" PARENT_SCOPE)
endfunction()

# The udev rule: one line per id, so the rule can never grant an interface
# the rows do not name.
function(m470_generate_udev_rule table template output)
  m470_usb_ids(${table} ids)
  set(lines "")
  foreach(id IN LISTS ids)
    string(REPLACE ":" ";" parts "${id}")
    list(GET parts 0 vendor)
    list(GET parts 1 product)
    list(GET parts 2 number)
    list(APPEND lines "ENV{ID_VENDOR_ID}==\"${vendor}\", ENV{ID_MODEL_ID}==\"${product}\", ENV{ID_USB_INTERFACE_NUM}==\"${number}\", TAG+=\"uaccess\"")
  endforeach()
  list(JOIN lines "\n" M470_UDEV_RULES)
  configure_file(${template} ${output} @ONLY)
endfunction()

# The AppStream metainfo: a <modalias> per USB device (software centres offer
# the program when such a product is plugged in), upper-case hex as the
# kernel writes it.
function(m470_generate_metainfo table template output)
  m470_usb_ids(${table} ids)
  set(lines "")
  foreach(id IN LISTS ids)
    string(TOUPPER "${id}" id)
    string(REGEX REPLACE "^([0-9A-F]+):([0-9A-F]+):.*" "usb:v\\1p\\2*" modalias "${id}")
    list(APPEND lines "    <modalias>${modalias}</modalias>")
  endforeach()
  list(REMOVE_DUPLICATES lines)
  list(JOIN lines "\n" M470_MODALIASES)
  configure_file(${template} ${output} @ONLY)
endfunction()
