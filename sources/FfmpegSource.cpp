#include "FfmpegSource.h"

#include "ChannelDownMix.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>

namespace {

// The formats by extension, with the demuxer each must be read by. Rejected: letting FFmpeg
// probe freely, which would hand a hostile file to any of its few hundred demuxers.
struct FormatOfExtension {
    const char* extension;
    const char* demuxers; // comma-separated FFmpeg names, any of which may read it
};
constexpr FormatOfExtension kFormats[] = {
    {".flac", "flac"},
    {".ogg", "ogg"},
    {".oga", "ogg"},
    {".opus", "ogg"},
    {".m4a", "mov,mp4,m4a,3gp,3g2,mj2"},
    {".mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
    {".aac", "aac,mov,mp4,m4a,3gp,3g2,mj2"},
    {".aif", "aiff"},
    {".aiff", "aiff"},
    {".wma", "asf"},
};

// Decoders we let run: the lossless ones, and the lossy ones whose overlap needs a pre-roll.
struct AllowedCodec {
    AVCodecID id;
    bool lossy;
};
constexpr AllowedCodec kCodecs[] = {
    {AV_CODEC_ID_FLAC, false},        {AV_CODEC_ID_ALAC, false},      {AV_CODEC_ID_PCM_S16BE, false},
    {AV_CODEC_ID_PCM_S16LE, false},   {AV_CODEC_ID_PCM_S24BE, false}, {AV_CODEC_ID_PCM_S32BE, false},
    {AV_CODEC_ID_PCM_S8, false},      {AV_CODEC_ID_PCM_F32BE, false}, {AV_CODEC_ID_PCM_F64BE, false},
    {AV_CODEC_ID_WMALOSSLESS, false}, {AV_CODEC_ID_VORBIS, true},     {AV_CODEC_ID_OPUS, true},
    {AV_CODEC_ID_AAC, true},          {AV_CODEC_ID_WMAV1, true},      {AV_CODEC_ID_WMAV2, true},
    {AV_CODEC_ID_WMAPRO, true},
};

constexpr int kIoBufferBytes = 32768;
constexpr int kProbeBytes = 1 << 20;
// A lossy decoder's output converges within a few of its frames after a seek: Opus states 80 ms
// (3840 frames), Vorbis and AAC overlap at most 2048; 8192 covers them all with room.
constexpr int64_t kLossyPreRollFrames = 8192;
// No codec we allow packs more than this many frames into one byte (FLAC's constant subframes
// reach about 400): a length beyond is a lie, cut to what the bytes can hold.
constexpr int64_t kMaxFramesPerByte = 2048;
constexpr int64_t kMaxTotalFrames = INT32_MAX;
// Lossless stereo takes 2 to 4 bytes a frame and lossy codecs more than 1/16 of a byte; a length
// claiming more frames per byte than this is checked against the stream's last packet.
constexpr int64_t kPlausibleFramesPerByte = 16;
// One decoded frame of more than this many samples is refused (FLAC's largest is 65535).
constexpr int kMaxFrameSamples = 1 << 20;
// Packets in a row that fail to decode before the stream is taken as ended.
constexpr int kMaxDecodeErrors = 1000;
constexpr size_t kMaxTitleChars = 255;
// Seeks that land after their target before the source decodes from the start instead.
constexpr int kMaxSeekAttempts = 4;

void QuietFfmpegLog()
{
    // FFmpeg reports damaged packets on standard error; the player has no terminal to spare and
    // a damaged track is reported once, through GetOpenError or the silence it plays.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

const FormatOfExtension* FormatFor(const char* extension)
{
    for (const FormatOfExtension& format : kFormats) {
        if (strcasecmp(extension, format.extension) == 0)
            return &format;
    }
    return nullptr;
}

const AllowedCodec* CodecFor(AVCodecID id)
{
    for (const AllowedCodec& codec : kCodecs) {
        if (codec.id == id)
            return &codec;
    }
    return nullptr;
}

// Whether one of the comma-separated names of list a equals one of list b.
bool NamesMeet(const char* a, const char* b)
{
    return av_match_list(a, b, ',') > 0;
}

int16_t FloatToPcm16(double sample)
{
    const double scaled = sample * 32767.0;
    if (scaled >= 32767.0)
        return 32767;
    if (scaled <= -32768.0)
        return -32768;
    if (scaled == scaled)
        return static_cast<int16_t>(std::lrint(scaled));
    return 0; // NaN
}

template <typename Sample, typename Convert>
void ConvertSamples(const uint8_t* plane, int at, int stride, int count, int16_t* out, Convert convert)
{
    const auto* samples = reinterpret_cast<const Sample*>(plane) + at;
    for (int i = 0; i < count; ++i)
        out[i] = convert(samples[i * stride]);
}

// count samples of one channel of a decoded frame from index first on, in 16-bit units:
// integers keep their top 16 bits. The format is chosen once per call, not per sample.
void ConvertChannel(const AVFrame& frame, int channel, int first, int count, int16_t* out)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int channels = frame.ch_layout.nb_channels;
    const uint8_t* plane = frame.extended_data[planar ? channel : 0];
    const int at = planar ? first : first * channels + channel;
    const int stride = planar ? 1 : channels;
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return ConvertSamples<uint8_t>(plane, at, stride, count, out,
                                       [](uint8_t v) { return static_cast<int16_t>((v - 128) * 256); });
    case AV_SAMPLE_FMT_S16:
        return ConvertSamples<int16_t>(plane, at, stride, count, out, [](int16_t v) { return v; });
    case AV_SAMPLE_FMT_S32:
        return ConvertSamples<int32_t>(plane, at, stride, count, out,
                                       [](int32_t v) { return static_cast<int16_t>(v >> 16); });
    case AV_SAMPLE_FMT_S64:
        return ConvertSamples<int64_t>(plane, at, stride, count, out,
                                       [](int64_t v) { return static_cast<int16_t>(v >> 48); });
    case AV_SAMPLE_FMT_FLT:
        return ConvertSamples<float>(plane, at, stride, count, out, [](float v) { return FloatToPcm16(v); });
    case AV_SAMPLE_FMT_DBL:
        return ConvertSamples<double>(plane, at, stride, count, out,
                                      [](double v) { return FloatToPcm16(v); });
    default:
        std::fill_n(out, count, int16_t{0});
    }
}

} // namespace

CFfmpegSource::CFfmpegSource() = default;

CFfmpegSource::~CFfmpegSource()
{
    Close();
}

bool CFfmpegSource::HandlesExtension(const char* extension)
{
    return extension != nullptr && FormatFor(extension) != nullptr;
}

const char* CFfmpegSource::GetTitle() const
{
    return m_open ? m_title.c_str() : nullptr;
}

uint16_t CFfmpegSource::GetSampleRate() const
{
    return m_sampleRate;
}

int CFfmpegSource::GetBlockCount() const
{
    return m_open ? m_blockCount : 0;
}

float CFfmpegSource::GetBlockDuration() const
{
    return m_open ? 1000.0f * kBlockFrames / static_cast<float>(m_sampleRate) : 0.0f;
}

const char* CFfmpegSource::GetOpenError() const
{
    return m_openError[0] != '\0' ? m_openError.data() : nullptr;
}

bool CFfmpegSource::Fail(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(m_openError.data(), m_openError.size(), format, arguments);
    va_end(arguments);
    return false;
}

void CFfmpegSource::SetDeadline(int64_t ms)
{
    m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

int CFfmpegSource::ReadPacketCallback(void* opaque, uint8_t* buffer, int size)
{
    auto* self = static_cast<CFfmpegSource*>(opaque);
    // Custom I/O never asks the interrupt callback, so the reads keep the deadline themselves.
    if (InterruptCallback(opaque) != 0)
        return AVERROR_EXIT;
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(size), self->m_file.get());
    if (got == 0)
        return std::ferror(self->m_file.get()) ? AVERROR(EIO) : AVERROR_EOF;
    return static_cast<int>(got);
}

int64_t CFfmpegSource::SeekCallback(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<CFfmpegSource*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0)
        return self->m_fileBytes;
    whence &= ~AVSEEK_FORCE;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END)
        return AVERROR(EINVAL);
    if (fseeko(self->m_file.get(), offset, whence) != 0)
        return AVERROR(errno);
    return ftello(self->m_file.get());
}

int CFfmpegSource::InterruptCallback(void* opaque)
{
    const auto* self = static_cast<const CFfmpegSource*>(opaque);
    return std::chrono::steady_clock::now() > self->m_deadline ? 1 : 0;
}

int CFfmpegSource::Open(const char* path)
{
    Close();
    m_openError[0] = '\0';
    QuietFfmpegLog();
    if (path == nullptr)
        return Fail("no path"), 0;
    const char* dot = std::strrchr(FileNameOf(path), '.');
    const char* extension = dot ? dot : "";
    if (!HandlesExtension(extension))
        return Fail("the extension \"%s\" names no format this reader plays", extension), 0;
    m_file.reset(std::fopen(path, "rb"));
    struct stat status {};
    if (!m_file || fstat(fileno(m_file.get()), &status) != 0)
        return Fail("cannot open the file: %s", std::strerror(errno)), 0;
    if (!S_ISREG(status.st_mode)) {
        Close();
        return Fail("not a regular file"), 0;
    }
    m_fileBytes = status.st_size;
    if (m_fileBytes == 0) {
        Close();
        return Fail("the file is empty"), 0;
    }
    SetDeadline(kOpenTimeLimitMs);
    m_path = path;
    bool opened = OpenContainer(path, extension) && OpenDecoder() && PrepareResampler();
    if (opened) {
        TakeLength();
        if (m_format == nullptr)
            opened = Fail("the file changed while it was read");
    }
    if (opened) {
        m_title = TitleOf(path).substr(0, kMaxTitleChars);
        // The first frame sets the time stamp of frame 0 and shows that the stream decodes.
        m_positionKnown = false;
        m_zeroPtsKnown = false;
        while (m_pendingCount == 0 && !m_streamEnded && DecodeMore()) {
        }
        if (m_pendingCount == 0)
            opened = Fail("no audio decodes from the file (damaged or truncated)");
    }
    if (opened && InterruptCallback(this) != 0)
        opened = Fail("opening took longer than %lld ms", static_cast<long long>(kOpenTimeLimitMs));
    if (!opened) {
        const std::array<char, 200> error = m_openError;
        Close();
        m_openError = error;
        return 0;
    }
    m_currentBlock = 0;
    m_open = true;
    return 1;
}

bool CFfmpegSource::OpenContainer(const char* path, const char* extension)
{
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    if (buffer == nullptr)
        return Fail("out of memory");
    m_io = avio_alloc_context(buffer, kIoBufferBytes, 0, this, &ReadPacketCallback, nullptr, &SeekCallback);
    if (m_io == nullptr) {
        av_free(buffer);
        return Fail("out of memory");
    }
    const AVInputFormat* input = nullptr;
    // No file name: a guess by extension would take any text named .m4a for MP4.
    const int probed = av_probe_input_buffer2(m_io, &input, nullptr, nullptr, 0, kProbeBytes);
    if (probed < 0 || input == nullptr)
        return Fail("the file holds no audio format that can be recognised");
    const FormatOfExtension* expected = FormatFor(extension);
    if (!NamesMeet(input->name, expected->demuxers))
        return Fail("the file holds %s data, not what its extension \"%s\" names", input->name, extension);

    m_format = avformat_alloc_context();
    if (m_format == nullptr)
        return Fail("out of memory");
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_format->interrupt_callback = {&InterruptCallback, this};
    m_format->probesize = kProbeBytes;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", expected->demuxers, 0);
    const int result = avformat_open_input(&m_format, path, input, &options);
    av_dict_free(&options);
    if (result < 0) {
        m_format = nullptr; // freed by avformat_open_input
        if (result == AVERROR_EXIT)
            return Fail("opening took longer than %lld ms", static_cast<long long>(kOpenTimeLimitMs));
        char reason[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, reason, sizeof reason);
        return Fail("the %s header cannot be read (%s)", input->name, reason);
    }
    if (avformat_find_stream_info(m_format, nullptr) < 0)
        return Fail("the %s stream information cannot be read", input->name);
    m_streamIndex = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (m_streamIndex < 0)
        return Fail("the file holds no audio stream");
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        if (static_cast<int>(i) != m_streamIndex)
            m_format->streams[i]->discard = AVDISCARD_ALL; // cover pictures, video, other tracks
    }
    return true;
}

bool CFfmpegSource::OpenDecoder()
{
    const AVStream* stream = m_format->streams[m_streamIndex];
    const AVCodecParameters* parameters = stream->codecpar;
    const AllowedCodec* allowed = CodecFor(parameters->codec_id);
    if (allowed == nullptr)
        return Fail("the audio is coded as %s, which this reader does not play",
                    avcodec_get_name(parameters->codec_id));
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    m_codec = decoder != nullptr ? avcodec_alloc_context3(decoder) : nullptr;
    if (m_codec == nullptr || avcodec_parameters_to_context(m_codec, parameters) < 0)
        return Fail("no %s decoder", avcodec_get_name(parameters->codec_id));
    m_codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(m_codec, decoder, nullptr) < 0)
        return Fail("the %s decoder does not take this stream", decoder->name);
    m_fileRate = m_codec->sample_rate;
    m_fileChannels = m_codec->ch_layout.nb_channels;
    if (m_fileRate <= 0 || m_fileRate > 4 * 65535)
        return Fail("unsupported sample rate %d Hz", m_fileRate);
    if (m_fileChannels < 1 || m_fileChannels > CChannelDownMix::kMaxChannels)
        return Fail("unsupported channel count %d", m_fileChannels);
    m_decimation = m_fileRate <= 65535 ? 1 : m_fileRate <= 2 * 65535 ? 2 : 4;
    m_sampleRate = static_cast<uint16_t>(m_fileRate / m_decimation);
    m_lossy = allowed->lossy;
    // ASF stamps its packets in whole milliseconds, which place no sample exactly.
    m_sampleExactTimes = std::strcmp(m_format->iformat->name, "asf") != 0;
    m_preRollFrames = m_lossy ? std::max<int64_t>(kLossyPreRollFrames, parameters->seek_preroll) : 0;
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (m_packet == nullptr || m_frame == nullptr)
        return Fail("out of memory");
    return true;
}

bool CFfmpegSource::PrepareResampler()
{
    swr_free(&m_resampler);
    if (m_fileChannels <= 2 && m_decimation == 1)
        return true;
    AVChannelLayout input{};
    if (m_codec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
        av_channel_layout_copy(&input, &m_codec->ch_layout);
    else
        av_channel_layout_default(&input, m_fileChannels);
    const auto mask = static_cast<uint32_t>(input.order == AV_CHANNEL_ORDER_NATIVE ? input.u.mask : 0);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    const int allocated = swr_alloc_set_opts2(&m_resampler, &stereo, AV_SAMPLE_FMT_FLT, m_sampleRate, &input,
                                              m_codec->sample_fmt, m_fileRate, 0, nullptr);
    av_channel_layout_uninit(&input);
    if (allocated < 0 || m_resampler == nullptr)
        return Fail("the resampler cannot be set up");
    // The WAV reader's down-mix, so a track sounds the same in either container.
    std::array<float, CChannelDownMix::kMaxChannels> left{};
    std::array<float, CChannelDownMix::kMaxChannels> right{};
    CChannelDownMix::Build(m_fileChannels, mask, left.data(), right.data());
    std::array<double, 2 * CChannelDownMix::kMaxChannels> matrix{};
    for (int channel = 0; channel < m_fileChannels; ++channel) {
        matrix[static_cast<size_t>(channel)] = left[static_cast<size_t>(channel)];
        matrix[static_cast<size_t>(m_fileChannels + channel)] = right[static_cast<size_t>(channel)];
    }
    if (swr_set_matrix(m_resampler, matrix.data(), m_fileChannels) < 0 || swr_init(m_resampler) < 0)
        return Fail("the resampler cannot be set up");
    return true;
}

void CFfmpegSource::TakeLength()
{
    const AVStream* stream = m_format->streams[m_streamIndex];
    int64_t fileFrames = 0;
    m_exactLength = false;
    if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE &&
        m_format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        fileFrames = av_rescale_q(stream->duration, stream->time_base, AVRational{1, m_fileRate});
        m_exactLength = true;
    } else if (m_format->duration > 0 && m_format->duration != AV_NOPTS_VALUE) {
        fileFrames = av_rescale_q(m_format->duration, AV_TIME_BASE_Q, AVRational{1, m_fileRate});
    }
    // An Ogg Opus length counts the pre-skip the decoder drops at the start.
    if (m_codec->codec_id == AV_CODEC_ID_OPUS && m_codec->delay > 0 && fileFrames > m_codec->delay)
        fileFrames -= m_codec->delay;
    // A claim beyond what the bytes usually hold is checked where the stream really ends.
    if (fileFrames > m_fileBytes * kPlausibleFramesPerByte) {
        const int64_t end = MeasureEnd(fileFrames);
        if (end >= 0 && end < fileFrames) {
            fileFrames = end;
            m_exactLength = false;
        }
    }
    const int64_t limit = std::min(kMaxTotalFrames, m_fileBytes * kMaxFramesPerByte);
    if (fileFrames > limit) {
        fileFrames = limit;
        m_exactLength = false;
    }
    m_totalFrames = (std::max<int64_t>(fileFrames, 0) + m_decimation - 1) / m_decimation;
    m_blockCount = static_cast<int>((m_totalFrames + kBlockFrames - 1) / kBlockFrames);
}

void CFfmpegSource::CloseDecoding()
{
    swr_free(&m_resampler);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
    if (m_format != nullptr)
        avformat_close_input(&m_format);
    if (m_io != nullptr) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
}

bool CFfmpegSource::Reopen()
{
    CloseDecoding();
    if (!m_file || fseeko(m_file.get(), 0, SEEK_SET) != 0)
        return false;
    const int rate = m_fileRate;
    const int channels = m_fileChannels;
    const bool exactTimes = m_sampleExactTimes;
    const char* dot = std::strrchr(FileNameOf(m_path.c_str()), '.');
    // The same file again: a rate or channel count that changed would break the block count.
    const bool opened = dot != nullptr && OpenContainer(m_path.c_str(), dot) && OpenDecoder() &&
                        PrepareResampler() && m_fileRate == rate && m_fileChannels == channels;
    m_sampleExactTimes = exactTimes;
    return opened;
}

int64_t CFfmpegSource::MeasureEnd(int64_t claimedFrames)
{
    const AVStream* stream = m_format->streams[m_streamIndex];
    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const int64_t claimed = start + av_rescale_q(claimedFrames, AVRational{1, m_fileRate}, stream->time_base);
    int64_t end = -1;
    if (av_seek_frame(m_format, m_streamIndex, claimed, AVSEEK_FLAG_BACKWARD) >= 0) {
        // The packets from where the seek landed to the end of the file; a few hundred at most
        // after a seek that works, and the deadline bounds one that does not.
        while (av_read_frame(m_format, m_packet) >= 0) {
            if (m_packet->stream_index == m_streamIndex && m_packet->pts != AV_NOPTS_VALUE)
                end = std::max(end, m_packet->pts + std::max<int64_t>(m_packet->duration, 0));
            av_packet_unref(m_packet);
            if (InterruptCallback(this) != 0)
                break;
        }
    }
    if (end >= 0)
        end = av_rescale_q(end - start, stream->time_base, AVRational{1, m_fileRate});
    // Back to the first byte, where Open goes on decoding.
    return Reopen() ? end : -1;
}

void CFfmpegSource::Close()
{
    CloseDecoding();
    m_path.clear();
    m_file.reset();
    m_fileBytes = 0;
    m_streamIndex = -1;
    m_title.clear();
    m_fileRate = 0;
    m_fileChannels = 0;
    m_sampleRate = 44100;
    m_decimation = 1;
    m_lossy = false;
    m_preRollFrames = 0;
    m_totalFrames = 0;
    m_exactLength = false;
    m_blockCount = 0;
    m_currentBlock = 0;
    m_open = false;
    m_pendingHead = 0;
    m_pendingCount = 0;
    m_pendingFirst = 0;
    m_positionKnown = false;
    m_streamEnded = false;
    m_nextFileFrame = 0;
    m_zeroPts = 0;
    m_zeroPtsKnown = false;
    m_seekAttempts = 0;
    m_decodeErrors = 0;
    m_countFromStart = false;
    m_sampleExactTimes = true;
}

void CFfmpegSource::SeekBlock(int index)
{
    m_currentBlock = std::max(index, 0);
}

void CFfmpegSource::SeekTo(int64_t targetFrame)
{
    if (m_format == nullptr || m_codec == nullptr) {
        m_streamEnded = true; // a reopen failed: the file went away or changed
        return;
    }
    const AVStream* stream = m_format->streams[m_streamIndex];
    // Each seek that landed after the target goes back twice as far again.
    const int64_t preRoll = (m_preRollFrames + kBlockFrames) << std::min(m_seekAttempts, 16);
    const int64_t fileTarget = targetFrame * m_decimation - preRoll;
    m_countFromStart = false;
    int result = -1;
    if (m_zeroPtsKnown && m_sampleExactTimes && fileTarget > 0 && m_seekAttempts < kMaxSeekAttempts) {
        const int64_t timestamp =
            m_zeroPts + av_rescale_q(fileTarget, AVRational{1, m_fileRate}, stream->time_base);
        result = av_seek_frame(m_format, m_streamIndex, timestamp, AVSEEK_FLAG_BACKWARD);
    }
    if (result < 0) {
        // From the very start the file is opened again: a demuxer seek to the start skips what
        // is stamped before it (AAC's priming frame in MP4), which the first frame's overlap needs.
        result = Reopen() ? 0 : -1;
        m_seekAttempts = kMaxSeekAttempts;
        // Without time stamps that place a sample, the frames are counted from the first.
        m_countFromStart = !m_zeroPtsKnown || !m_sampleExactTimes;
        if (result < 0) {
            m_streamEnded = true;
            return;
        }
    }
    avcodec_flush_buffers(m_codec);
    if (m_resampler != nullptr)
        PrepareResampler();
    m_pendingHead = 0;
    m_pendingCount = 0;
    m_positionKnown = false;
    m_streamEnded = result < 0;
    m_decodeErrors = 0;
}

bool CFfmpegSource::DecodeMore()
{
    for (;;) {
        // Also after a frame whose placing needed a reopen that failed.
        if (m_streamEnded || m_codec == nullptr)
            return false;
        const int received = avcodec_receive_frame(m_codec, m_frame);
        if (received == 0) {
            const bool appended = Append(*m_frame);
            av_frame_unref(m_frame);
            m_decodeErrors = 0;
            if (appended)
                return true;
            continue;
        }
        if (received == AVERROR_EOF) {
            if (m_resampler != nullptr && m_positionKnown)
                AppendResampled(nullptr, 0, 0); // the resampler's delayed tail
            m_streamEnded = true;
            return false;
        }
        if (received != AVERROR(EAGAIN) && ++m_decodeErrors > kMaxDecodeErrors) {
            m_streamEnded = true;
            return false;
        }
        if (InterruptCallback(this) != 0) {
            m_streamEnded = true;
            return false;
        }
        const int read = av_read_frame(m_format, m_packet);
        if (read < 0) {
            // The end of the file, or a damage that ends it: drain what the decoder holds.
            avcodec_send_packet(m_codec, nullptr);
            continue;
        }
        if (m_packet->stream_index == m_streamIndex && avcodec_send_packet(m_codec, m_packet) < 0 &&
            ++m_decodeErrors > kMaxDecodeErrors) {
            av_packet_unref(m_packet);
            m_streamEnded = true;
            return false;
        }
        av_packet_unref(m_packet);
    }
}

bool CFfmpegSource::Append(const AVFrame& frame)
{
    if (frame.nb_samples <= 0 || frame.nb_samples > kMaxFrameSamples)
        return false;
    if (!m_zeroPtsKnown && frame.best_effort_timestamp != AV_NOPTS_VALUE && !m_open) {
        m_zeroPts = frame.best_effort_timestamp;
        m_zeroPtsKnown = true;
    }
    int first = 0;
    if (!m_positionKnown) {
        const AVStream* stream = m_format->streams[m_streamIndex];
        int64_t fileFrame = 0;
        if (!m_countFromStart) {
            // A frame without a time stamp cannot be placed: count from the start instead.
            if (!m_zeroPtsKnown || frame.best_effort_timestamp == AV_NOPTS_VALUE) {
                m_sampleExactTimes = false;
                m_seekAttempts = kMaxSeekAttempts;
                SeekTo(0);
                return false;
            }
            fileFrame = av_rescale_q(frame.best_effort_timestamp - m_zeroPts, stream->time_base,
                                     AVRational{1, m_fileRate});
        }
        // Frames before frame 0 (an encoder delay the container did not trim), and on the
        // resampled path up to a whole delivered frame, are dropped.
        const int64_t aligned =
            std::max<int64_t>((fileFrame + m_decimation - 1) / m_decimation * m_decimation, 0);
        if (aligned - fileFrame >= frame.nb_samples) {
            m_nextFileFrame = fileFrame + frame.nb_samples;
            return false;
        }
        first = static_cast<int>(aligned - fileFrame);
        m_positionKnown = true;
        m_nextFileFrame = aligned;
        m_pendingHead = 0;
        m_pendingCount = 0;
        m_pendingFirst = aligned / m_decimation;
    }
    const int count = frame.nb_samples - first;
    m_nextFileFrame += count;
    if (m_resampler != nullptr)
        return AppendResampled(&frame, first, count);
    AppendDirect(frame, first, count);
    return true;
}

void CFfmpegSource::AppendDirect(const AVFrame& frame, int first, int count)
{
    ReservePending(static_cast<size_t>(count));
    int16_t* left = m_pendingLeft.data() + m_pendingHead + m_pendingCount;
    int16_t* right = m_pendingRight.data() + m_pendingHead + m_pendingCount;
    ConvertChannel(frame, 0, first, count, left);
    if (frame.ch_layout.nb_channels >= 2)
        ConvertChannel(frame, 1, first, count, right);
    else
        std::copy_n(left, count, right);
    m_pendingCount += static_cast<size_t>(count);
}

bool CFfmpegSource::AppendResampled(const AVFrame* frame, int first, int count)
{
    const int room = swr_get_out_samples(m_resampler, count);
    if (room <= 0)
        return frame != nullptr;
    m_mixed.resize(static_cast<size_t>(room) * 2);
    std::array<const uint8_t*, AV_NUM_DATA_POINTERS> input{};
    if (frame != nullptr) {
        const auto format = static_cast<AVSampleFormat>(frame->format);
        const bool planar = av_sample_fmt_is_planar(format) != 0;
        const int sampleBytes = av_get_bytes_per_sample(format);
        const int planes = planar ? frame->ch_layout.nb_channels : 1;
        const int offset = first * sampleBytes * (planar ? 1 : frame->ch_layout.nb_channels);
        for (int plane = 0; plane < planes && plane < AV_NUM_DATA_POINTERS; ++plane)
            input[static_cast<size_t>(plane)] = frame->extended_data[plane] + offset;
    }
    auto* output = reinterpret_cast<uint8_t*>(m_mixed.data());
    const int produced = swr_convert(m_resampler, &output, room, frame != nullptr ? input.data() : nullptr,
                                     frame != nullptr ? count : 0);
    if (produced < 0)
        return false;
    ReservePending(static_cast<size_t>(produced));
    int16_t* left = m_pendingLeft.data() + m_pendingHead + m_pendingCount;
    int16_t* right = m_pendingRight.data() + m_pendingHead + m_pendingCount;
    for (int i = 0; i < produced; ++i) {
        left[i] = FloatToPcm16(m_mixed[static_cast<size_t>(2 * i)]);
        right[i] = FloatToPcm16(m_mixed[static_cast<size_t>(2 * i + 1)]);
    }
    m_pendingCount += static_cast<size_t>(produced);
    return produced > 0 || frame != nullptr;
}

void CFfmpegSource::ReservePending(size_t count)
{
    const size_t needed = m_pendingCount + count;
    if (m_pendingHead + needed <= m_pendingLeft.size())
        return;
    const auto head = static_cast<ptrdiff_t>(m_pendingHead);
    std::copy_n(m_pendingLeft.begin() + head, m_pendingCount, m_pendingLeft.begin());
    std::copy_n(m_pendingRight.begin() + head, m_pendingCount, m_pendingRight.begin());
    m_pendingHead = 0;
    if (needed > m_pendingLeft.size()) {
        m_pendingLeft.resize(needed);
        m_pendingRight.resize(needed);
    }
}

void CFfmpegSource::DropPendingBefore(int64_t frame)
{
    const int64_t drop = std::clamp<int64_t>(frame - m_pendingFirst, 0, static_cast<int64_t>(m_pendingCount));
    m_pendingHead += static_cast<size_t>(drop);
    m_pendingCount -= static_cast<size_t>(drop);
    m_pendingFirst += drop;
    if (m_pendingCount == 0)
        m_pendingHead = 0;
}

int CFfmpegSource::ReadBlock(int16_t* left, int16_t* right) noexcept
{
    if (!m_open || m_currentBlock >= m_blockCount)
        return 0;
    const int64_t target = int64_t{m_currentBlock} * kBlockFrames;
    const int64_t wanted = std::min<int64_t>(kBlockFrames, m_totalFrames - target);
    SetDeadline(kReadTimeLimitMs);
    try {
        const int64_t decodedEnd = m_pendingFirst + static_cast<int64_t>(m_pendingCount);
        // Going on decoding is cheaper than a seek for a target at most a few blocks ahead.
        if (!m_positionKnown || target < m_pendingFirst || target > decodedEnd + 4 * kBlockFrames) {
            m_seekAttempts = 0;
            SeekTo(target);
        }
        for (;;) {
            if (m_positionKnown) {
                if (m_pendingFirst > target && m_seekAttempts < kMaxSeekAttempts) {
                    ++m_seekAttempts; // landed after the target: further back
                    SeekTo(target);
                    continue;
                }
                DropPendingBefore(target);
                if (m_pendingFirst == target && static_cast<int64_t>(m_pendingCount) >= wanted)
                    break;
            }
            if (!DecodeMore())
                break;
        }
    } catch (...) {
        // Only an allocation can throw here; the block plays as silence.
        m_pendingCount = 0;
        m_streamEnded = true;
    }
    const int64_t have =
        m_pendingFirst == target ? std::min<int64_t>(static_cast<int64_t>(m_pendingCount), wanted) : 0;
    const auto* fromLeft = m_pendingLeft.data() + m_pendingHead;
    const auto* fromRight = m_pendingRight.data() + m_pendingHead;
    std::copy_n(fromLeft, have, left);
    std::copy_n(fromRight, have, right);
    std::fill(left + have, left + kBlockFrames, int16_t{0});
    std::fill(right + have, right + kBlockFrames, int16_t{0});
    DropPendingBefore(target + have);
    // A block past what the file holds, up to its stated length, plays as silence: the deck
    // was told the length and keeps its blocks counted by it.
    if (have < wanted && m_pendingFirst < target + wanted) {
        m_pendingFirst = target + wanted;
        m_pendingCount = 0;
        m_pendingHead = 0;
    }
    ++m_currentBlock;
    return static_cast<int>(std::max<int64_t>(wanted, 1));
}
