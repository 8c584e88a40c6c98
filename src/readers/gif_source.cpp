#include "gif_source.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t gif_block_bytes = size_t{64} << 10;

int on_read(GifFileType* gif, GifByteType* dest, int count)
{
    auto* in = static_cast<gif_input*>(gif->UserData);
    int done = 0;
    while (done < count) {
        if (in->at == in->end) {
            const uint64_t left = in->source->size() - std::min(in->position, in->source->size());
            const auto n = static_cast<size_t>(std::min<uint64_t>(left, in->block.size()));
            if (n == 0) {
                in->error = image_error::truncated;
                break;
            }
            if (const image_error why = in->source->read(in->position, n, in->block.data()); why != image_error::none) {
                in->error = why;
                break;
            }
            in->position += n, in->at = 0, in->end = n;
        }
        const size_t step = std::min(size_t(count - done), in->end - in->at);
        std::memcpy(dest + done, in->block.data() + in->at, step);
        in->at += step, done += int(step);
    }
    return done;
}

}  // namespace

image_error gif_failure(const gif_input& in, int code)
{
    return in.error != image_error::none         ? in.error
           : code == D_GIF_ERR_NOT_ENOUGH_MEM     ? image_error::out_of_memory
           : code == D_GIF_ERR_EOF_TOO_SOON       ? image_error::truncated
                                                  : image_error::bad_format;
}

gif_ptr open_gif_file(byte_source& source, gif_input& in, image_error& error)
{
    in.source = &source;
    in.block.resize(gif_block_bytes);
    int status = 0;
    gif_ptr gif(DGifOpen(&in, on_read, &status));
    if (!gif)
        error = gif_failure(in, status);
    return gif;
}

bool read_gif_extension(GifFileType* gif, gif_control& control)
{
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) != GIF_OK)
        return false;
    // GIF 89a, section 23: flags (disposal in bits 2-4, transparency in
    // bit 0), the delay, the transparent index.
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        control.transparent = (block[1] & 1) ? block[4] : -1;
        control.disposal = (block[1] >> 2) & 7;
        control.delay = block[2] | block[3] << 8;
    }
    while (block)
        if (DGifGetExtensionNext(gif, &block) != GIF_OK)
            return false;
    return true;
}

bool read_gif_frame(GifFileType* gif)
{
    if (DGifGetImageDesc(gif) != GIF_OK)
        return false;
    const GifImageDesc& d = gif->Image;
    if (!d.ColorMap && !gif->SColorMap)
        return gif->Error = D_GIF_ERR_NO_COLOR_MAP, false;
    if (d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0)
        return gif->Error = D_GIF_ERR_NO_IMAG_DSCR, false;
    // A screen of no size, as some writers leave it, is the first frame's.
    if (gif->SWidth <= 0)
        gif->SWidth = d.Left + d.Width;
    if (gif->SHeight <= 0)
        gif->SHeight = d.Top + d.Height;
    return true;
}
