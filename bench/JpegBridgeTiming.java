import java.awt.image.BufferedImage;
import java.awt.image.DataBufferInt;
import java.awt.image.DirectColorModel;
import java.awt.image.Raster;
import java.awt.image.SinglePixelPackedSampleModel;
import java.awt.image.WritableRaster;
import java.io.File;
import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.util.Arrays;
import javax.imageio.IIOImage;
import javax.imageio.ImageIO;
import javax.imageio.ImageWriteParam;
import javax.imageio.ImageWriter;
import javax.imageio.stream.ImageOutputStream;

/**
 * The JPEG export from Java against the Java platform's own JPEG writer and against libjpeg-turbo
 * alone, in one VM, interleaved rounds: Kestrilo.saveJPEG, javax.imageio's writer at quality 0.9
 * (a BufferedImage over the same int[], no copy), and the library compressing the same pixels
 * with the export's parameters, into memory from the packed ints and from three-byte rows, and
 * into a file from the packed ints.
 * Prints the first calls apart, the medians of the rounds and their ratios, how the export's and
 * the platform's files compare, and what a refused call (height one row too large, so the bridge
 * reads nothing) costs.
 *
 *   java -Djava.library.path=build/out:build/bench -cp build/out:<classes> JpegBridgeTiming \
 *       <picture file: width x height little-endian ints> <width> <height> <output folder> [rounds]
 */
public class JpegBridgeTiming {
    /** libjpeg-turbo alone, the export's parameters, into memory (bench/jpeg_alone_jni.cpp). */
    static native long libraryFromPackedInts(int[] pixels, int width, int height);

    static native long libraryFromBgr(byte[] bgr, int width, int height);

    static native long libraryToFile(int[] pixels, int width, int height, String file);

    interface Contender {
        void run() throws IOException;
    }

    public static void main(String[] args) throws IOException {
        System.loadLibrary("jpeg_alone_jni");
        int[] pixels = readPixels(new File(args[0]));
        int width = Integer.parseInt(args[1]), height = Integer.parseInt(args[2]);
        File folder = new File(args[3]);
        int rounds = args.length > 4 ? Integer.parseInt(args[4]) : 9;
        if (pixels.length != width * height) throw new IllegalArgumentException("picture size");
        File ours = new File(folder, "kestrilo.jpg");
        File platforms = new File(folder, "imageio.jpg");
        File refused = new File(folder, "refused.jpg");
        BufferedImage image = wrap(pixels, width, height);
        byte[] bgr = new byte[pixels.length * 3];
        for (int i = 0; i < pixels.length; ++i) {
            bgr[i * 3] = (byte) pixels[i];
            bgr[i * 3 + 1] = (byte) (pixels[i] >> 8);
            bgr[i * 3 + 2] = (byte) (pixels[i] >> 16);
        }

        File library = new File(folder, "library.jpg");
        String[] names = {"saveJPEG", "ImageIO quality 0.9", "library alone, packed ints",
                          "library alone, BGR rows", "library alone, to a file",
                          "refused call (bridge only)"};
        Contender[] contenders = {
            () -> Kestrilo.saveJPEG(ours.getPath(), pixels, width, height),
            () -> writeWithImageIo(image, platforms),
            () -> libraryFromPackedInts(pixels, width, height),
            () -> libraryFromBgr(bgr, width, height),
            () -> libraryToFile(pixels, width, height, library.getPath()),
            // Height one row too large: the export refuses it before reading a row.
            () -> Kestrilo.saveJPEG(refused.getPath(), pixels, width, height + 1),
        };
        int count = contenders.length;
        // Wall-clock time, and the calling thread's processor time (every contender compresses
        // on the calling thread), which other work on a shared machine disturbs less.
        ThreadMXBean threads = ManagementFactory.getThreadMXBean();
        double[] first = new double[count];
        double[][] wall = new double[count][rounds], cpu = new double[count][rounds];
        for (int round = -1; round < rounds; ++round) {
            // The first calls are reported apart; then each round starts one contender later, so
            // that none always follows the same one's garbage.
            for (int turn = 0; turn < count; ++turn) {
                int which = round < 0 ? turn : (round + turn) % count;
                long cpuStart = threads.getCurrentThreadCpuTime();
                long start = System.nanoTime();
                contenders[which].run();
                double millis = (System.nanoTime() - start) / 1e6;
                if (round < 0) {
                    first[which] = millis;
                } else {
                    wall[which][round] = millis;
                    cpu[which][round] = (threads.getCurrentThreadCpuTime() - cpuStart) / 1e6;
                }
            }
            if (round < 0) {
                System.out.printf("picture %dx%d, JPEG %d bytes; saveJPEG's and ImageIO's files: "
                                  + "%s%n", width, height, ours.length(),
                                  compare(Files.readAllBytes(ours.toPath()),
                                          Files.readAllBytes(platforms.toPath())));
            }
        }
        ours.delete();
        platforms.delete();
        library.delete();

        System.out.printf("%d rounds, medians:%n", rounds);
        for (int i = 0; i < count; ++i) {
            System.out.printf("  %-28s %7.2f ms, processor %6.2f ms, first call %7.1f ms %s%n",
                              names[i], median(wall[i]), median(cpu[i]), first[i], list(wall[i]));
        }
        for (int i = 1; i < 5; ++i) {
            System.out.printf("saveJPEG / %s: %.2f (processor %.2f)%n", names[i],
                              median(wall[0]) / median(wall[i]), median(cpu[0]) / median(cpu[i]));
        }
    }

    /** How two JPEG files compare; the platform's writer says JFIF 1.02 where ours says 1.01. */
    static String compare(byte[] ours, byte[] platforms) {
        if (Arrays.equals(ours, platforms)) return "identical";
        final int minorVersion = 12;  // SOI, APP0 marker and length, "JFIF\0", major version
        if (ours.length != platforms.length || ours.length <= minorVersion) return "DIFFERENT";
        for (int i = 0; i < ours.length; ++i) {
            if (i != minorVersion && ours[i] != platforms[i]) return "DIFFERENT";
        }
        return String.format("identical but for the JFIF version (1.%02d, 1.%02d)",
                             ours[minorVersion], platforms[minorVersion]);
    }

    static int[] readPixels(File file) throws IOException {
        ByteBuffer bytes = ByteBuffer.wrap(Files.readAllBytes(file.toPath()));
        int[] pixels = new int[bytes.remaining() / 4];
        bytes.order(ByteOrder.LITTLE_ENDIAN).asIntBuffer().get(pixels);
        return pixels;
    }

    /** A TYPE_INT_RGB-like image whose pixels are the array itself. */
    static BufferedImage wrap(int[] pixels, int width, int height) {
        int[] masks = {0xFF0000, 0xFF00, 0xFF};
        DataBufferInt buffer = new DataBufferInt(pixels, pixels.length);
        WritableRaster raster = Raster.createWritableRaster(
                new SinglePixelPackedSampleModel(buffer.getDataType(), width, height, masks),
                buffer, null);
        return new BufferedImage(new DirectColorModel(24, masks[0], masks[1], masks[2]), raster,
                                 false, null);
    }

    static void writeWithImageIo(BufferedImage image, File file) throws IOException {
        ImageWriter writer = ImageIO.getImageWritersByFormatName("jpeg").next();
        ImageWriteParam param = writer.getDefaultWriteParam();
        param.setCompressionMode(ImageWriteParam.MODE_EXPLICIT);
        param.setCompressionQuality(0.9f);
        file.delete();
        try (ImageOutputStream out = ImageIO.createImageOutputStream(file)) {
            writer.setOutput(out);
            writer.write(null, new IIOImage(image, null, null), param);
        } finally {
            writer.dispose();
        }
    }

    static double median(double[] values) {
        double[] sorted = values.clone();
        Arrays.sort(sorted);
        return sorted[sorted.length / 2];
    }

    static String list(double[] values) {
        StringBuilder text = new StringBuilder("(rounds");
        for (double value : values) text.append(String.format(" %.1f", value));
        return text.append(")").toString();
    }
}
