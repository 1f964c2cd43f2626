#include "texture/mesh_cache.h"
