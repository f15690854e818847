# Run by cpack before it builds a package from a tree configured for
# another prefix (see Packaging.cmake).
message(FATAL_ERROR "cpack: ${CPACK_VRX_MISCONFIGURED}")
