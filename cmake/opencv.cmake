# OpenCV's calibration modules for slscan-calibrate, looked up like the other
# Debian libraries (cmake/debian_packages.cmake). Debian 12 ships OpenCV's
# CMake package only with the full libopencv-dev; the calibration needs only
# libopencv-calib3d-dev and libopencv-imgcodecs-dev, which bring the headers
# and the libraries but no package file, so the modules are also looked up
# one by one.
#
# slscan_find_opencv(): sets SLSCAN_HAVE_OpenCV and, when found, the target
# slscan::opencv that links core, imgproc, calib3d and imgcodecs.
function(slscan_find_opencv)
  set(modules core imgproc calib3d imgcodecs)
  find_package(OpenCV QUIET COMPONENTS ${modules})
  if(OpenCV_FOUND)
    add_library(slscan::opencv INTERFACE IMPORTED GLOBAL)
    target_include_directories(slscan::opencv INTERFACE ${OpenCV_INCLUDE_DIRS})
    target_link_libraries(slscan::opencv INTERFACE ${OpenCV_LIBS})
    set(SLSCAN_HAVE_OpenCV ON PARENT_SCOPE)
    return()
  endif()
  find_path(SLSCAN_OPENCV_INCLUDE opencv2/calib3d.hpp PATH_SUFFIXES opencv4)
  set(libraries)
  set(found ON)
  if(NOT SLSCAN_OPENCV_INCLUDE OR NOT EXISTS "${SLSCAN_OPENCV_INCLUDE}/opencv2/imgcodecs.hpp")
    set(found OFF)
  endif()
  foreach(module ${modules})
    find_library(SLSCAN_OPENCV_${module} opencv_${module})
    if(SLSCAN_OPENCV_${module})
      list(APPEND libraries ${SLSCAN_OPENCV_${module}})
    else()
      set(found OFF)
    endif()
  endforeach()
  if(found)
    add_library(slscan::opencv INTERFACE IMPORTED GLOBAL)
    target_include_directories(slscan::opencv SYSTEM INTERFACE ${SLSCAN_OPENCV_INCLUDE})
    target_link_libraries(slscan::opencv INTERFACE ${libraries})
    set(SLSCAN_HAVE_OpenCV ON PARENT_SCOPE)
  else()
    set(SLSCAN_HAVE_OpenCV OFF PARENT_SCOPE)
    message(STATUS "OpenCV's calib3d and imgcodecs not found "
                   "(Debian packages libopencv-calib3d-dev libopencv-imgcodecs-dev)")
  endif()
endfunction()
