// The OpenGL 3.3 core declarations the GL backend calls, plus the few extension enums it uses that older
// headers lack (S3TC block formats, mirror-once addressing). Only the GL backend's units include this.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#ifndef GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
#define GL_COMPRESSED_RGBA_S3TC_DXT1_EXT 0x83F1
#define GL_COMPRESSED_RGBA_S3TC_DXT3_EXT 0x83F2
#define GL_COMPRESSED_RGBA_S3TC_DXT5_EXT 0x83F3
#endif
#ifndef GL_MIRROR_CLAMP_TO_EDGE
#define GL_MIRROR_CLAMP_TO_EDGE 0x8743
#endif
