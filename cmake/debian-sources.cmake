# The Debian bookworm source packages the Windows build compiles its
# decoders from (windows-deps.cmake), so that Windows decodes a picture with
# the code Debian's -dev packages give the Linux build. Each file is checked
# against its SHA-256, copied from the Checksums-Sha256 of the package's entry
# in bookworm's Sources index (`apt-cache showsrc NAME`, with a deb-src line).
#
# debian_source(NAME VERSION POOL_FOLDER DEV_PACKAGE FILE SHA256 ...): the
# Debian version with its epoch, as `dpkg-query -W DEV_PACKAGE` shows it on a
# Linux build machine; the configure step warns when the two differ.
#
# libpng1.6 1.6.39-2+deb12u6 and zlib 1:1.2.13.dfsg-1+deb12u1, the versions
# of bookworm-security that Linux has, are not served by the package mirror
# CI reaches; the newest ones it serves are pinned instead: the same upstream
# releases, with Debian's patches up to deb12u5 and none for zlib.

debian_source(zlib 1:1.2.13.dfsg-1 pool/main/z/zlib zlib1g-dev
  zlib_1.2.13.dfsg-1.dsc 3fa1e6b2fc525062aa88207dda52fed8e045373c809d362fe8a2bfbf7cf515a8
  zlib_1.2.13.dfsg.orig.tar.bz2 71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1
  zlib_1.2.13.dfsg-1.debian.tar.xz f66cf3d4f2d7defcd4d1fd1fb0a11ee39f1e01b42ec7d059c9dc5c1695133c44)

debian_source(libpng1.6 1.6.39-2+deb12u5 pool/main/libp/libpng1.6 libpng-dev
  libpng1.6_1.6.39-2+deb12u5.dsc 7b86211030a34deb6b0a2cd7e1d9db0fe92443fd30cab537fb89b1e7f7c9f188
  libpng1.6_1.6.39.orig.tar.gz a00e9d2f2f664186e4202db9299397f851aea71b36a35e74910b8820e380d441
  libpng1.6_1.6.39-2+deb12u5.debian.tar.xz ab14906eda9fddf14cbb1e589b9ba7439c22e233dc3c5e3cf9356c9625565a82)

debian_source(libjpeg-turbo 1:2.1.5-2 pool/main/libj/libjpeg-turbo libjpeg62-turbo-dev
  libjpeg-turbo_2.1.5-2.dsc d718ead0dfbcbc8523665c02a7f7152e31039ded641d022868722623bb3b486d
  libjpeg-turbo_2.1.5.orig.tar.gz 254f3642b04e309fee775123133c6464181addc150499561020312ec61c1bf7c
  libjpeg-turbo_2.1.5-2.debian.tar.xz cdb2433c2f7101345c1ffa14efb943787c675b86354691a32490845fe4bc9237)

debian_source(giflib 5.2.1-2.5+deb12u1 pool/main/g/giflib libgif-dev
  giflib_5.2.1-2.5+deb12u1.dsc 5206a92fd4a057768f429033a3a80bc1e06453f6c60dfec243d8188fa6ade3f4
  giflib_5.2.1.orig.tar.gz 31da5562f44c5f15d63340a09a4fd62b48c45620cd302f77a6d9acf0077879bd
  giflib_5.2.1-2.5+deb12u1.debian.tar.xz efa4369de943f7918c2b0b049a125268937ab12039ea6ed01d34ab2125def0df)

debian_source(libwebp 1.2.4-0.2+deb12u1 pool/main/libw/libwebp libwebp-dev
  libwebp_1.2.4-0.2+deb12u1.dsc d9ed0b59e2010f255c28d0869fd15b31f9b08aed757bfc91862d43aa9ec1aa99
  libwebp_1.2.4.orig.tar.gz 7bf5a8a28cc69bcfa8cb214f2c3095703c6b73ac5fba4d5480c205331d9494df
  libwebp_1.2.4.orig.tar.gz.asc 4c546cf7f757a70d8803ab850e69d28e7ce06e66dbee003fd3ede7346543851a
  libwebp_1.2.4-0.2+deb12u1.debian.tar.xz 69cdba4dfe2e1b34d55fa80c1b29c31cacd40dd183812d6bcca7e508a2f7afcd)
