// Process-wide choices of the texture library that the D3DX calls have no parameter for. Each holds for every
// thread from the moment it is set; the environment gives the starting value.
#pragma once

namespace tarn::texture {

// How hard the block encoder (DXT1 to DXT5) works, on every path that writes a block format: loading surfaces and
// volumes, filtering mip chains, creating textures from files, saving. Fast takes the quickest fit; Default is the
// balance of quality and speed; Best searches further and takes up to about twice as long. TARN_DXT_QUALITY=fast,
// default or best gives the starting value (Default when unset or unreadable).
enum class BlockQuality { Fast, Default, Best };

void SetBlockQuality(BlockQuality quality);
BlockQuality GetBlockQuality();

}  // namespace tarn::texture
