# Run by cmake --install: picks the folder under the install prefix that the Python of this
# system reads packages from. A prefix ending in /usr (the system's own, or a package's staging
# tree) gets Debian's lib/python3/dist-packages; /usr/local gets Debian's
# lib/python3.X/dist-packages; any other prefix, such as ~/.local or a virtual environment,
# gets lib/python3.X/site-packages, where Python looks in those.
if(NOT slopemeter_python_dir)
  if(CMAKE_INSTALL_PREFIX MATCHES "/usr/?$")
    set(slopemeter_python_dir lib/python3/dist-packages)
  elseif(CMAKE_INSTALL_PREFIX MATCHES "^/usr/local/?$")
    set(slopemeter_python_dir lib/python${slopemeter_python_version}/dist-packages)
  else()
    set(slopemeter_python_dir lib/python${slopemeter_python_version}/site-packages)
  endif()
endif()
