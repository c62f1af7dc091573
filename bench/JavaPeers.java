import java.awt.image.BufferedImage;
import java.awt.image.DataBufferInt;
import java.awt.image.IndexColorModel;
import java.awt.image.WritableRaster;
import java.io.BufferedOutputStream;
import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import java.util.zip.ZipEntry;
import java.util.zip.ZipOutputStream;
import javax.imageio.IIOImage;
import javax.imageio.ImageIO;
import javax.imageio.ImageWriteParam;
import javax.imageio.ImageWriter;
import javax.imageio.stream.FileImageOutputStream;
import javax.sound.sampled.AudioFileFormat;
import javax.sound.sampled.AudioFormat;
import javax.sound.sampled.AudioInputStream;
import javax.sound.sampled.AudioSystem;

/**
 * Each service of Kestrilo against what a Java programmer would use instead, in one VM: the
 * JPEG writer of javax.imageio at quality 0.9, ImageIO reading and writing a GIF, Java Sound
 * converting a WAV file to 8012 Hz mu-law AU, and java.util.zip packing the files.
 *
 * Rounds are interleaved (ours, then theirs; the order swaps every round), the first round is
 * reported apart (class loading, first touch of the library and of the files), and the medians
 * of the other rounds give the ratios. Inputs are made before any timing; each timed call reads
 * and writes real files in the work folder.
 *
 *   java -Djava.library.path=build/out -cp build/out:classes JavaPeers work-folder corpus-folder
 *        [rounds]
 */
public class JavaPeers {
    interface Call {
        long run() throws Exception; // the size of what it wrote, in bytes
    }

    interface Setup {
        void run() throws Exception; // untimed work before each call
    }

    static final class Side {
        final String name;
        final Setup setup;
        final Call call;
        double first;
        long bytes;
        final List<Double> rest = new ArrayList<>();

        Side(String name, Setup setup, Call call) {
            this.name = name;
            this.setup = setup;
            this.call = call;
        }

        void time(boolean firstRound) throws Exception {
            setup.run();
            long start = System.nanoTime();
            bytes = call.run();
            double ms = (System.nanoTime() - start) / 1e6;
            if (firstRound) first = ms; else rest.add(ms);
        }

        double median() {
            double[] sorted = rest.stream().mapToDouble(Double::doubleValue).sorted().toArray();
            int n = sorted.length;
            return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        }
    }

    static final Setup NOTHING = () -> {};

    static void compare(String service, int rounds, Side ours, Side theirs) throws Exception {
        for (int round = 0; round < rounds; ++round) {
            Side a = round % 2 == 0 ? ours : theirs;
            Side b = round % 2 == 0 ? theirs : ours;
            a.time(round == 0);
            b.time(round == 0);
        }
        double ratio = theirs.median() / ours.median();
        System.out.printf("%s%n", service);
        for (Side side : new Side[] {ours, theirs}) {
            System.out.printf("  %-52s median %9.1f ms  first %9.1f ms  %,12d bytes  rounds %s%n",
                              side.name, side.median(), side.first, side.bytes,
                              Arrays.toString(side.rest.stream()
                                      .mapToDouble(t -> Math.round(t * 10) / 10.0).toArray()));
        }
        System.out.printf("  ratio: %s%n%n", ratio >= 1
                ? String.format("%.2f x faster than the platform's way", ratio)
                : String.format("%.2f x slower than the platform's way", 1 / ratio));
    }

    // A photo-like picture: smooth gradients, some texture, no two rows alike.
    static int[] photo(int width, int height) {
        int[] pixels = new int[width * height];
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                int grain = ((x * 31 + y * 17) ^ (x * y)) & 15;
                double shade = 0.5 + 0.25 * Math.sin(x / 300.0) + 0.25 * Math.cos((x + 2 * y) / 500.0);
                int r = (int) (shade * 200) + grain;
                int g = (y * 255 / height + grain) & 0xFF;
                int b = ((x + y) * 255 / (width + height) + grain / 2) & 0xFF;
                pixels[y * width + x] = r << 16 | g << 8 | b;
            }
        }
        return pixels;
    }

    static long size(File file) {
        return file.length();
    }

    public static void main(String[] args) throws Exception {
        File work = new File(args[0]);
        File corpus = new File(args[1]);
        // The first round is reported apart, so at least one more.
        int rounds = Math.max(2, args.length > 2 ? Integer.parseInt(args[2]) : 9);
        work.mkdirs();
        System.out.printf("Java %s (%s), %d processors; %d rounds each, the first reported apart%n%n",
                          System.getProperty("java.version"), System.getProperty("java.vm.name"),
                          Runtime.getRuntime().availableProcessors(), rounds);
        jpeg(work, rounds);
        gif(work, rounds);
        sound(work, rounds);
        cabinet(work, corpus, rounds);
    }

    static void jpeg(File work, int rounds) throws Exception {
        int width = 4000, height = 3000;
        int[] pixels = photo(width, height);
        // The Java programmer's picture holds the same array: no copy on either side.
        BufferedImage image = new BufferedImage(width, height, BufferedImage.TYPE_INT_RGB);
        System.arraycopy(pixels, 0, ((DataBufferInt) image.getRaster().getDataBuffer()).getData(),
                         0, pixels.length);
        int[] shared = ((DataBufferInt) image.getRaster().getDataBuffer()).getData();
        File ours = new File(work, "ours.jpg");
        File theirs = new File(work, "imageio.jpg");
        compare("JPEG, 4000 x 3000, quality 90", rounds,
                new Side("Kestrilo.saveJPEG", NOTHING, () -> {
                    Kestrilo.saveJPEG(ours.getPath(), shared, width, height);
                    return size(ours);
                }),
                new Side("javax.imageio JPEG writer, quality 0.9", NOTHING, () -> {
                    ImageWriter writer = ImageIO.getImageWritersByFormatName("jpeg").next();
                    ImageWriteParam param = writer.getDefaultWriteParam();
                    param.setCompressionMode(ImageWriteParam.MODE_EXPLICIT);
                    param.setCompressionQuality(0.9f);
                    theirs.delete();
                    try (FileImageOutputStream out = new FileImageOutputStream(theirs)) {
                        writer.setOutput(out);
                        writer.write(null, new IIOImage(image, null, null), param);
                    } finally {
                        writer.dispose();
                    }
                    return size(theirs);
                }));
        byte[] a = Files.readAllBytes(ours.toPath()), b = Files.readAllBytes(theirs.toPath());
        int differences = 0, firstDifference = -1;
        for (int i = 0; i < Math.min(a.length, b.length); ++i) {
            if (a[i] != b[i] && differences++ == 0) firstDifference = i;
        }
        System.out.printf("  same file bytes: %b (%d bytes differ, the first at offset %d)%n%n",
                          Arrays.equals(a, b), differences, firstDifference);
    }

    static void gif(File work, int rounds) throws Exception {
        int side = 2048;
        // A 256-colour picture without transparency, written by ImageIO.
        byte[] r = new byte[256], g = new byte[256], b = new byte[256];
        for (int i = 0; i < 256; ++i) {
            r[i] = (byte) i;
            g[i] = (byte) (i * 7);
            b[i] = (byte) (255 - i);
        }
        IndexColorModel colours = new IndexColorModel(8, 256, r, g, b);
        BufferedImage source = new BufferedImage(side, side, BufferedImage.TYPE_BYTE_INDEXED, colours);
        WritableRaster raster = source.getRaster();
        int[] row = new int[side];
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                double v = 0.5 + 0.25 * Math.sin(x / 150.0) + 0.25 * Math.cos((x + 2 * y) / 260.0);
                row[x] = Math.min(255, (int) (v * 200) + ((x * y) >> 9 & 7));
            }
            raster.setPixels(0, y, side, 1, row);
        }
        File original = new File(work, "source.gif");
        ImageIO.write(source, "gif", original);
        File ours = new File(work, "ours.gif");
        File theirs = new File(work, "imageio.gif");
        compare("makeTransparent, 2048 x 2048 GIF (" + original.length() + " bytes)", rounds,
                // The file is made transparent in place, so each call gets a fresh copy first.
                new Side("Kestrilo.makeTransparent",
                         () -> Files.copy(original.toPath(), ours.toPath(),
                                          StandardCopyOption.REPLACE_EXISTING),
                         () -> {
                             Kestrilo.makeTransparent(ours.getPath());
                             return size(ours);
                         }),
                new Side("ImageIO.read + transparent index + ImageIO.write(\"gif\")",
                         () -> Files.copy(original.toPath(), theirs.toPath(),
                                          StandardCopyOption.REPLACE_EXISTING),
                         () -> {
                             BufferedImage read = ImageIO.read(theirs);
                             IndexColorModel model = (IndexColorModel) read.getColorModel();
                             int corner = read.getRaster().getSample(0, 0, 0);
                             int n = model.getMapSize();
                             byte[] rr = new byte[n], gg = new byte[n], bb = new byte[n];
                             model.getReds(rr);
                             model.getGreens(gg);
                             model.getBlues(bb);
                             IndexColorModel clear = new IndexColorModel(
                                     model.getPixelSize(), n, rr, gg, bb, corner);
                             BufferedImage out = new BufferedImage(clear, read.getRaster(), false, null);
                             ImageIO.write(out, "gif", theirs);
                             return size(theirs);
                         }));
    }

    static void sound(File work, int rounds) throws Exception {
        // Two minutes of 16-bit stereo at 44100 Hz: two tones and a little noise.
        int rate = 44100, seconds = 120, frames = rate * seconds;
        ByteBuffer samples = ByteBuffer.allocate(frames * 4).order(ByteOrder.LITTLE_ENDIAN);
        Random noise = new Random(5);
        for (int i = 0; i < frames; ++i) {
            double t = (double) i / rate;
            samples.putShort((short) (9000 * Math.sin(2 * Math.PI * 440 * t) + noise.nextInt(200)));
            samples.putShort((short) (7000 * Math.sin(2 * Math.PI * 660 * t) + noise.nextInt(200)));
        }
        AudioFormat pcm = new AudioFormat(rate, 16, 2, true, false);
        File wav = new File(work, "two-minutes.wav");
        AudioSystem.write(new AudioInputStream(new ByteArrayInputStream(samples.array()), pcm, frames),
                          AudioFileFormat.Type.WAVE, wav);
        File ours = new File(work, "ours.au");
        File theirs = new File(work, "javasound.au");
        // Java Sound converts the rate and the channels only between linear formats (its
        // resampling converter), and linear to mu-law only at one rate: so two steps.
        AudioFormat mono8012 = new AudioFormat(8012, 16, 1, true, false);
        AudioFormat ulaw = new AudioFormat(AudioFormat.Encoding.ULAW, 8012, 8, 1, 1, 8012, false);
        compare("wav2au, 2 minutes of 16-bit stereo at 44100 Hz (" + wav.length() + " bytes)",
                rounds,
                new Side("Kestrilo.wav2au", NOTHING, () -> {
                    Kestrilo.wav2au(wav.getPath(), ours.getPath());
                    return size(ours);
                }),
                new Side("Java Sound: to 8012 Hz mono, then to mu-law, AU", NOTHING, () -> {
                    try (AudioInputStream in = AudioSystem.getAudioInputStream(wav);
                         AudioInputStream resampled = AudioSystem.getAudioInputStream(mono8012, in);
                         AudioInputStream encoded = AudioSystem.getAudioInputStream(ulaw, resampled)) {
                        AudioSystem.write(encoded, AudioFileFormat.Type.AU, theirs);
                    }
                    return size(theirs);
                }));
    }

    static void cabinet(File work, File corpus, int rounds) throws Exception {
        // Entries are relative to the work folder, which is the cabinet's path.
        List<String> names = new ArrayList<>();
        long total = 0;
        try (var walk = Files.walk(corpus.toPath())) {
            for (Path p : (Iterable<Path>) walk.filter(Files::isRegularFile).sorted()::iterator) {
                names.add(work.toPath().relativize(p).toString());
                total += Files.size(p);
            }
        }
        String[] entries = names.toArray(new String[0]);
        File ours = new File(work, "ours.cab");
        File theirs = new File(work, "files.zip");
        byte[] buffer = new byte[1 << 16];
        compare("makeCab, " + entries.length + " files, " + total + " bytes", rounds,
                new Side("Kestrilo.makeCab", NOTHING, () -> {
                    Kestrilo.makeCab(entries, work.getPath(), ours.getName());
                    return size(ours);
                }),
                new Side("java.util.zip.ZipOutputStream (default level)", NOTHING, () -> {
                    try (ZipOutputStream zip = new ZipOutputStream(
                                 new BufferedOutputStream(new FileOutputStream(theirs), 1 << 16))) {
                        for (String name : entries) {
                            zip.putNextEntry(new ZipEntry(name));
                            try (InputStream in = Files.newInputStream(work.toPath().resolve(name))) {
                                for (int n; (n = in.read(buffer)) > 0;) zip.write(buffer, 0, n);
                            }
                            zip.closeEntry();
                        }
                    }
                    return size(theirs);
                }));
    }
}
